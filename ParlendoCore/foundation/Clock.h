#pragma once

#include <memory>
#include <string>

namespace parlendo {

// Monotonic seconds since an arbitrary start: for durations, deadlines, timers and countdowns.
// Thread-safe.
class MonotonicClock {
  public:
    virtual ~MonotonicClock() = default;
    virtual double uptime() const = 0;
};

// Wall-clock seconds since the Unix epoch: only for what is stored, sent or shown (timestamps,
// dates). Thread-safe.
class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual double now() const = 0;
};

// Both clocks in one object, for code that needs both. Take the narrower type where one suffices,
// so that a parameter says what it measures.
class Clock : public MonotonicClock, public WallClock {};

// The real clocks: the system's real-time clock and CLOCK_MONOTONIC.
class SystemClock final : public Clock {
  public:
    double now() const override;
    double uptime() const override;

    // The process-wide instance.
    static std::shared_ptr<SystemClock> shared();
};

// Wall-clock seconds as ISO 8601 text in UTC: "2026-05-28T08:26:40Z", or with `milliseconds`
// "2026-05-28T08:26:40.123Z" (rounded to the nearest millisecond).
std::string isoTimestamp(double seconds, bool milliseconds = false);

}  // namespace parlendo
