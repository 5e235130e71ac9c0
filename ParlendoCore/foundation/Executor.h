#pragma once

#include "foundation/Function.h"

#include <memory>

namespace parlendo {

// Runs tasks. `post` runs the task later, in submission order for serial executors;
// `postAfter` runs it no sooner than `seconds` from now (negative or zero means as soon as
// possible); `isCurrent` tells whether the calling thread is running this executor's work.
// Implementations are thread-safe: any thread may post.
class Executor {
  public:
    virtual ~Executor() = default;
    virtual void post(Task task) = 0;
    virtual void postAfter(double seconds, Task task) = 0;
    virtual bool isCurrent() const = 0;
};

using ExecutorPtr = std::shared_ptr<Executor>;

}  // namespace parlendo
