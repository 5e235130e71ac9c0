#pragma once

#include "foundation/Executor.h"

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace parlendo::testing {

// Keeps every thread of a queue busy until released (at the latest when this goes), so that a test
// sees what waits for the queue meanwhile. Built once all `threads` are held.
class HeldThreads {
  public:
    HeldThreads(Executor& queue, int threads) : released_(release_.get_future().share()) {
        auto held = std::make_shared<std::atomic<int>>(0);
        for (int i = 0; i < threads; ++i) {
            queue.post([released = released_, held] {
                ++*held;
                released.wait();
            });
        }
        while (*held < threads) {
            std::this_thread::yield();
        }
    }
    ~HeldThreads() { release(); }
    HeldThreads(const HeldThreads&) = delete;
    HeldThreads& operator=(const HeldThreads&) = delete;

    void release() {
        if (!done_) {
            done_ = true;
            release_.set_value();
        }
    }

  private:
    std::promise<void> release_;
    std::shared_future<void> released_;
    bool done_ = false;
};

}  // namespace parlendo::testing
