#include "lookup/Deadline.h"

#include "foundation/WorkerQueue.h"

#include <algorithm>

namespace parlendo {

const Deadline::Sleep Deadline::realSleep = [](double seconds, Completion<void()> done) {
    ThreadPool::global().postAfter(std::max(0.0, seconds),
                                   [done = std::move(done)]() mutable { done(); });
};

}  // namespace parlendo
