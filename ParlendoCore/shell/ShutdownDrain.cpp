#include "shell/ShutdownDrain.h"

#include "foundation/Log.h"

#include <cstdio>

namespace parlendo::ShutdownDrain {

namespace {

struct Drain {
    double timeout;
    double poll;
    std::shared_ptr<const MonotonicClock> clock;
    std::function<int()> inFlight;
    ExecutorPtr executor;
    Completion<void(Outcome)> completion;
    double start = 0;
};

void drained(const std::shared_ptr<Drain>& drain) {
    const double waited = drain->clock->uptime() - drain->start;
    char line[64];
    std::snprintf(line, sizeof line, "드레인 완료 %.2f초", waited);
    Log::write("shutdown", line);
    drain->completion(Outcome{true, waited, 0});
}

void loop(const std::shared_ptr<Drain>& drain) {
    const double elapsed = drain->clock->uptime() - drain->start;
    if (elapsed >= drain->timeout) {
        const int remaining = drain->inFlight();
        char line[128];
        std::snprintf(line, sizeof line, "드레인 상한 %.0f초 — 남은 작업 %d (유실 가능)",
                      drain->timeout, remaining);
        Log::write("shutdown", line);
        drain->completion(Outcome{false, elapsed, remaining});
        return;
    }
    drain->executor->postAfter(drain->poll, [drain] {
        if (drain->inFlight() > 0) {
            loop(drain);
        } else {
            drained(drain);
        }
    });
}

}  // namespace

void run(double timeout, double poll, std::shared_ptr<const MonotonicClock> clock,
         std::function<int()> inFlight, ExecutorPtr executor,
         Completion<void(Outcome)> completion) {
    auto drain = std::make_shared<Drain>(Drain{timeout, poll, std::move(clock), std::move(inFlight),
                                               executor, std::move(completion)});
    executor->post([drain] {
        drain->start = drain->clock->uptime();
        if (drain->inFlight() < 1) {
            drained(drain);
        } else {
            loop(drain);
        }
    });
}

}  // namespace parlendo::ShutdownDrain
