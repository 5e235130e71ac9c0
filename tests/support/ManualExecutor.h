#pragma once

#include "FakeClock.h"
#include "foundation/Executor.h"

#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace parlendo::testing {

// An executor that runs nothing by itself: tests call `runAll()` (or advance the clock, which
// runs it after each timer). Delayed tasks are timers on the FakeClock. It counts as "current"
// on the thread that made it (the test's main thread), and on any other thread while that thread
// runs one of its tasks.
// Destroying it cancels whatever is still queued. A clock handed in is held weakly, so that
// timers whose tasks hold this executor do not keep the clock (and so themselves) alive once the
// test lets the clock go; a clock it makes itself it owns.
class ManualExecutor final : public Executor {
  public:
    ManualExecutor();
    explicit ManualExecutor(const std::shared_ptr<FakeClock>& clock);
    ~ManualExecutor() override;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    bool isCurrent() const override;
    // Whether this thread is running one of its tasks now (unlike isCurrent, false on the test's
    // thread between tasks): where work ran, when several of these share the test's thread.
    bool runningTask() const;

    // Runs queued tasks, including those they post, until the queue is empty; returns how many ran.
    size_t runAll();
    // Runs the oldest queued task; false when there was none.
    bool runOne();
    size_t pending() const;
    // The delays asked of `postAfter`, in order.
    std::vector<double> delays() const;

    std::shared_ptr<FakeClock> clock() const;

  private:
    ManualExecutor(const std::shared_ptr<FakeClock>& clock, bool own);

    struct State {
        std::mutex mutex;
        std::deque<Task> queue;
        std::vector<double> delays;
    };

    std::shared_ptr<FakeClock> ownClock_;
    std::weak_ptr<FakeClock> clock_;
    std::shared_ptr<State> state_;
    std::shared_ptr<std::function<size_t()>> drain_;
    std::thread::id owner_;
};

}  // namespace parlendo::testing
