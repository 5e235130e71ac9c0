#pragma once

#include "server/AuthTypes.h"

#include <array>
#include <functional>
#include <optional>

namespace parlendo {

// How long token refreshes wait after the auth service answered with a server error or a rate
// limit. A plain value: its owner (the auth runtime) changes it only under its own lock.
struct AuthBackoff {
    static constexpr std::array<double, 4> ladder{15, 30, 60, 120};
    static constexpr double jitterLow = 0.5;
    static constexpr double jitterHigh = 1.5;
    static constexpr std::array<double, 5> offlineRetry{5, 10, 20, 40, 60};
    static constexpr double retryAfterMin = 1;
    static constexpr double retryAfterMax = 1800;

    // Steps taken since the last success.
    int step = 0;
    // Refreshes other than restores wait until this monotonic time has passed.
    std::optional<double> until;
    // None outside a restore burst; false inside one before its first failure; true after it.
    std::optional<bool> burstStepped;

    void beginBurst() { burstStepped = false; }
    void endBurst() { burstStepped.reset(); }

    // True for the failures after which the backoff steps.
    static bool applies(const AuthFailure& failure);

    // Steps the backoff and moves the deadline; returns the delay in seconds.
    double failed(double now, std::optional<double> retryAfter,
                  const std::function<double()>& random);
    void succeeded();
    std::optional<double> remaining(double now) const;

    // The pause between start-up restore attempts.
    static double restoreRetryDelay(std::optional<double> backoffRemaining, int attempt);
};

}  // namespace parlendo
