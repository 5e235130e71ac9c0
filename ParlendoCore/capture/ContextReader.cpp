#include "capture/ContextReader.h"

#include "foundation/Clock.h"

namespace parlendo {

namespace {
ReadBudget::ClockFn orUptime(ReadBudget::ClockFn clock) {
    if (clock) {
        return clock;
    }
    return [] {
        return SystemClock::shared()->uptime();
    };
}
}  // namespace

ReadBudget::ReadBudget(double limit_, ClockFn clock_)
    : limit(limit_), started(0), clock(orUptime(std::move(clock_))) {
    started = clock();
}

ReadBudget::ReadBudget(double limit_, double started_, ClockFn clock_)
    : limit(limit_), started(started_), clock(orUptime(std::move(clock_))) {}

double ReadBudget::elapsed() const {
    return clock() - started;
}

bool ReadBudget::expired() const {
    return limit <= elapsed();
}

}  // namespace parlendo
