#pragma once

#include "FakeClock.h"
#include "foundation/Executor.h"

#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace parlendo::testing {

// An executor that runs nothing by itself: tests call `runAll()` (or advance the clock, which
// runs it after each timer). Delayed tasks are timers on the FakeClock. It counts as "current"
// on the thread that made it (the test's main thread), and on any other thread while that thread
// runs one of its tasks.
// Destroying it drops whatever is still queued.
class ManualExecutor final : public Executor {
  public:
    explicit ManualExecutor(std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>());
    ~ManualExecutor() override;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    bool isCurrent() const override;

    // Runs queued tasks, including those they post, until the queue is empty; returns how many ran.
    size_t runAll();
    // Runs the oldest queued task; false when there was none.
    bool runOne();
    size_t pending() const;

    const std::shared_ptr<FakeClock>& clock() const { return clock_; }

  private:
    struct State {
        std::mutex mutex;
        std::deque<Task> queue;
    };

    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<State> state_;
    std::shared_ptr<std::function<size_t()>> drain_;
    std::thread::id owner_;
};

}  // namespace parlendo::testing
