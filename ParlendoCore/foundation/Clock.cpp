#include "foundation/Clock.h"

#include <ctime>

namespace parlendo {

namespace {
double read(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
}  // namespace

double SystemClock::now() const {
    return read(CLOCK_REALTIME);
}

double SystemClock::uptime() const {
    return read(CLOCK_MONOTONIC);
}

std::shared_ptr<SystemClock> SystemClock::shared() {
    static auto clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace parlendo
