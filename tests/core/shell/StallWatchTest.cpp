#include "LogCapture.h"
#include "ManualExecutor.h"
#include "shell/StallWatch.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::LogCapture;
using testing::ManualExecutor;

// The executor's timers run on the fake clock's time; the watch reads that time plus whatever
// the main thread "spent" meanwhile, as a busy main loop would make it see.
struct BusyClock final : MonotonicClock {
    explicit BusyClock(std::shared_ptr<FakeClock> base) : base(std::move(base)) {}
    double uptime() const override { return base->uptime() + busy; }
    std::shared_ptr<FakeClock> base;
    double busy = 0;
};

TEST(StallWatch, LogsTimersThatRunLateAndTheLongestAtTheEnd) {
    LogCapture log;
    auto clock = std::make_shared<FakeClock>();
    auto main = std::make_shared<ManualExecutor>(clock);
    auto busy = std::make_shared<BusyClock>(clock);
    auto watch = StallWatch::start(main, busy);
    // The program is built before the main loop's first turn: no window can stall meanwhile.
    busy->busy = 0.3;
    clock->advance(0.3);
    main->runAll();

    // On time, or late by less than the threshold: nothing to say.
    clock->advance(0.5);
    busy->busy = 0.04;
    clock->advance(StallWatch::interval);
    EXPECT_TRUE(log.messages("timing").empty());
    EXPECT_EQ(watch->stalls(), 0);

    // A main thread busy for 120 ms, then for 70 ms.
    busy->busy += 0.12;
    clock->advance(StallWatch::interval);
    busy->busy += 0.07;
    clock->advance(StallWatch::interval);
    clock->advance(0.1);
    EXPECT_EQ(watch->stalls(), 2);
    EXPECT_NEAR(watch->longest(), 0.12, 1e-9);
    const auto lines = log.messages("timing");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "main_loop_stall ms=120 longest_ms=120");
    EXPECT_EQ(lines[1], "main_loop_stall ms=70 longest_ms=120");

    watch->stop();
    watch->stop();
    const auto all = log.messages("timing");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(all[2].starts_with("main_loop longest_stall_ms=120 stalls=2 ticks=")) << all[2];
    // Stopped: no timer keeps the executor busy.
    clock->advance(1.0);
    EXPECT_EQ(clock->pendingTimers(), 0u);
}

TEST(StallWatch, AWatchThatIsGoneLeavesNoTimerRunning) {
    auto clock = std::make_shared<FakeClock>();
    auto main = std::make_shared<ManualExecutor>(clock);
    auto watch = StallWatch::start(main, clock);
    main->runAll();
    clock->advance(0.05);
    watch.reset();
    clock->advance(0.05);
    EXPECT_EQ(clock->pendingTimers(), 0u);
}

}  // namespace
}  // namespace parlendo
