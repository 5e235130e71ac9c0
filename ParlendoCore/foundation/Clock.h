#pragma once

#include <memory>

namespace parlendo {

// The two clocks of the program. `now` is wall-clock time in seconds since the Unix epoch
// (for timestamps and dates the server sees); `uptime` is monotonic seconds since an arbitrary
// start (for durations, deadlines and countdowns). Thread-safe.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
    virtual double uptime() const = 0;
};

// The real clocks: the system's real-time clock and CLOCK_MONOTONIC.
class SystemClock final : public Clock {
  public:
    double now() const override;
    double uptime() const override;

    // The process-wide instance.
    static std::shared_ptr<SystemClock> shared();
};

}  // namespace parlendo
