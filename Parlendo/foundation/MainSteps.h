#pragma once

#include "foundation/Executor.h"

#include <functional>
#include <memory>
#include <vector>

namespace parlendo {

// Work on the main loop cut into steps that run one per turn of the loop, so that input, drawing
// and timers go on between two of them: a window that takes long to build is built this way.
// `done` follows the last step. Main thread.
class MainSteps {
  public:
    using Step = std::function<void()>;

    static void run(const ExecutorPtr& main, std::vector<Step> steps, Step done) {
        auto shared = std::make_shared<std::vector<Step>>(std::move(steps));
        next(main, std::move(shared), 0, std::move(done));
    }

  private:
    static void next(const ExecutorPtr& main, std::shared_ptr<std::vector<Step>> steps, size_t at,
                     Step done) {
        main->post([main, steps = std::move(steps), at, done = std::move(done)]() mutable {
            if (at == steps->size()) {
                done();
                return;
            }
            (*steps)[at]();
            next(main, std::move(steps), at + 1, std::move(done));
        });
    }
};

}  // namespace parlendo
