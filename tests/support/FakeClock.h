#pragma once

#include "foundation/Clock.h"
#include "foundation/Function.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace parlendo::testing {

// A clock that moves only when told. `advance(seconds)` walks forward through every timer that
// falls due on the way, in order of due time (ties in scheduling order), setting the clock to
// each timer's due time before running it, and lets the executors bound to this clock run what
// those timers posted before moving on.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(double wallStart = 1'780'000'000.0, double uptimeStart = 1000.0)
        : wallStart_(wallStart), uptimeStart_(uptimeStart) {}
    // Timers still pending are cancelled: what they hold is let go on purpose.
    ~FakeClock() override;
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    double now() const override;
    double uptime() const override;
    double elapsed() const;

    // Runs `task` when the clock reaches `dueUptime`. Returns a token for `cancel`.
    std::uint64_t schedule(double dueUptime, Task task);
    void cancel(std::uint64_t token);
    // Cancels every pending timer (a test that ends with work in flight lets it go this way, which
    // also frees timers whose tasks hold, through what they resume, this clock).
    void cancelAll();
    size_t pendingTimers() const;

    // Moves the clock forward by `seconds`, firing due timers in order.
    void advance(double seconds);

    // Something to run to quiescence after each timer (executors register themselves); it returns
    // how many tasks it ran. After a timer, every registered executor runs until none has work
    // left, so tasks that hop between executors all run before the clock moves on.
    void addDrain(std::weak_ptr<std::function<size_t()>> drain);

  private:
    struct Timer {
        double due;
        std::uint64_t seq;
        Task task;
    };
    void drainAll();

    double wallStart_;
    double uptimeStart_;
    mutable std::mutex mutex_;
    double elapsed_ = 0;
    std::uint64_t nextSeq_ = 0;
    std::vector<Timer> timers_;
    std::vector<std::weak_ptr<std::function<size_t()>>> drains_;
};

}  // namespace parlendo::testing
