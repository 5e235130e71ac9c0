#pragma once

#include "FakeClock.h"
#include "ManualExecutor.h"

#include <memory>

namespace parlendo::testing {

// The fake clock of a capture road with its selection-fetch queue, main executor and timer
// queue. The fetch queue is made first so that the clock drains it before the main executor, and
// what a timer's fetch step hands to the main thread runs at that same time.
struct CaptureQueues {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> fetchQueue = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> timers = std::make_shared<ManualExecutor>(clock);
};

}  // namespace parlendo::testing
