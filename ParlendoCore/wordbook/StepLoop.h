#pragma once

#include "foundation/Completion.h"

#include <functional>
#include <memory>

namespace parlendo {

// Runs one asynchronous step after another until a step says that it was the last. A step gets a
// completion to call with `true` for another round or `false` to stop; it may complete on any
// thread, at once or later. Steps that complete at once run in a loop rather than nested, so a
// read of a thousand pages answered synchronously (a fake, a cache) does not grow the stack.
// The step function is kept until the loop stops.
class StepLoop {
  public:
    using Step = std::function<void(Completion<void(bool again)>)>;

    static void run(Step step);

  private:
    struct State;
    static void drive(const std::shared_ptr<State>& state);
};

}  // namespace parlendo
