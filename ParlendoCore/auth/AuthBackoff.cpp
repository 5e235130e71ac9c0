#include "auth/AuthBackoff.h"

#include <algorithm>
#include <cmath>

namespace parlendo {

bool AuthBackoff::applies(const AuthFailure& failure) {
    if (failure.is<AuthFailure::Server>() || failure.is<AuthFailure::RateLimited>()) {
        return true;
    }
    if (const auto* rejected = failure.as<AuthFailure::Rejected>()) {
        return rejected->code == "over_request_rate_limit";
    }
    return false;
}

double AuthBackoff::failed(double now, std::optional<double> retryAfter,
                           const std::function<double()>& random) {
    double base = 0;
    if (burstStepped == true) {
        base = ladder[static_cast<size_t>(std::clamp(step - 1, 0, 3))];
    } else {
        base = ladder[static_cast<size_t>(std::clamp(step, 0, 3))];
        step += 1;
        if (burstStepped == false) {
            burstStepped = true;
        }
    }
    double delay = 0;
    if (retryAfter && *retryAfter > 0) {
        delay = std::clamp(*retryAfter, retryAfterMin, retryAfterMax);
    } else {
        double factor = random ? random() : 1.0;
        if (std::isnan(factor)) {
            factor = 1.0;
        }
        delay = base * std::clamp(factor, jitterLow, jitterHigh);
    }
    until = now + delay;
    return delay;
}

void AuthBackoff::succeeded() {
    step = 0;
    until.reset();
}

std::optional<double> AuthBackoff::remaining(double now) const {
    if (until && *until > now) {
        return *until - now;
    }
    return std::nullopt;
}

double AuthBackoff::restoreRetryDelay(std::optional<double> backoffRemaining, int attempt) {
    if (backoffRemaining && *backoffRemaining > 0) {
        return std::max(*backoffRemaining, 1.0);
    }
    return offlineRetry[static_cast<size_t>(std::clamp(attempt, 0, 4))];
}

}  // namespace parlendo
