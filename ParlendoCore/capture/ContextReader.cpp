#include "capture/ContextReader.h"

#include "foundation/Clock.h"

namespace parlendo {

namespace {
std::shared_ptr<const MonotonicClock> orSystem(std::shared_ptr<const MonotonicClock> clock) {
    if (clock) {
        return clock;
    }
    return SystemClock::shared();
}
}  // namespace

ReadBudget::ReadBudget(double limit_, std::shared_ptr<const MonotonicClock> clock_)
    : limit(limit_), started(0), clock(orSystem(std::move(clock_))) {
    started = clock->uptime();
}

ReadBudget::ReadBudget(double limit_, double started_, std::shared_ptr<const MonotonicClock> clock_)
    : limit(limit_), started(started_), clock(orSystem(std::move(clock_))) {}

double ReadBudget::elapsed() const {
    return clock->uptime() - started;
}

bool ReadBudget::expired() const {
    return limit <= elapsed();
}

}  // namespace parlendo
