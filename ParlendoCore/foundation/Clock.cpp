#include "foundation/Clock.h"

#include <cmath>
#include <cstdio>
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

std::string isoTimestamp(double seconds, bool milliseconds) {
    auto totalMillis = static_cast<long long>(std::llround(seconds * 1000.0));
    if (!milliseconds) {
        totalMillis = static_cast<long long>(std::floor(seconds)) * 1000;
    }
    long long whole = totalMillis / 1000;
    long long millis = totalMillis % 1000;
    if (millis < 0) {
        millis += 1000;
        whole -= 1;
    }
    const auto time = static_cast<std::time_t>(whole);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &parts);
    std::string out(buffer);
    if (milliseconds) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03lld", millis);
        out += fraction;
    }
    return out + "Z";
}

std::shared_ptr<SystemClock> SystemClock::shared() {
    static auto clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace parlendo
