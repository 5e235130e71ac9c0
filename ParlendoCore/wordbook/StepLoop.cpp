#include "wordbook/StepLoop.h"

#include <mutex>

namespace parlendo {

struct StepLoop::State {
    enum class Phase { starting, answeredAtOnce, waiting };
    std::mutex mutex;
    Step step;
    Phase phase = Phase::starting;
    bool again = false;
};

void StepLoop::run(Step step) {
    auto state = std::make_shared<State>();
    state->step = std::move(step);
    drive(state);
}

void StepLoop::drive(const std::shared_ptr<State>& state) {
    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            state->phase = State::Phase::starting;
        }
        state->step([state](bool again) {
            {
                std::lock_guard lock(state->mutex);
                if (state->phase == State::Phase::starting) {
                    // Answered before the step returned: the loop below goes on.
                    state->phase = State::Phase::answeredAtOnce;
                    state->again = again;
                    return;
                }
            }
            if (again) {
                drive(state);
            } else {
                state->step = nullptr;
            }
        });
        std::lock_guard lock(state->mutex);
        if (state->phase == State::Phase::answeredAtOnce) {
            if (state->again) {
                continue;
            }
            state->step = nullptr;
            return;
        }
        state->phase = State::Phase::waiting;
        return;
    }
}

}  // namespace parlendo
