#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <functional>
#include <memory>

namespace parlendo {

// The bounded wait for work in flight when the user quits: polls the in-flight count until it
// reaches zero or the time-out passes. It runs on the executor it is given (a background queue in
// the application, never the main loop) and reads the count there, so the counters must be safe
// on any thread.
namespace ShutdownDrain {

inline constexpr double defaultTimeout = 12.0;
inline constexpr double defaultPoll = 0.05;

struct Outcome {
    bool drained = false;  // nothing left in flight
    double waited = 0;     // seconds spent
    int remaining = 0;     // operations still in flight; 0 when drained
    bool operator==(const Outcome&) const = default;
};

// Logs "드레인 완료 <s>초" or "드레인 상한 <timeout>초 — 남은 작업 <n> (유실 가능)" under
// "shutdown" and completes on `executor` with the outcome.
void run(double timeout, double poll, std::shared_ptr<const MonotonicClock> clock,
         std::function<int()> inFlight, ExecutorPtr executor, Completion<void(Outcome)> completion);

}  // namespace ShutdownDrain
}  // namespace parlendo
