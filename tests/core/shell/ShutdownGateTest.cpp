#include "shell/ShutdownGate.h"

#include "LogCapture.h"
#include "ManualExecutor.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(ShutdownGateTest, TasksRunOnceInOrderAndCountersSum) {
    testing::LogCapture log;
    ShutdownGate gate;
    bool done = false;
    gate.runTerminationTasks(nullptr, [&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_TRUE(log.messages("shutdown").empty());

    std::vector<std::string> ran;
    double now = 0;
    gate.addTask("first", [&] {
        ran.push_back("first");
        now += 0.25;
    });
    gate.addTask("second", [&] { ran.push_back("second"); });
    gate.addCounter([] { return 2; });
    gate.addCounter([] { return 3; });
    EXPECT_EQ(gate.inFlight(), 5);

    const auto uptime = [&] {
        return now;
    };
    gate.runTerminationTasks(nullptr, nullptr, uptime);
    gate.runTerminationTasks(nullptr, nullptr, uptime);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(log.messages("shutdown"),
              (std::vector<std::string>{"끌 때 할 일 — first 250ms", "끌 때 할 일 — second 0ms"}));
}

// Tasks that end on another thread are awaited through the main executor's timers, never by
// blocking it: the next task starts only once the previous one ended or ran out of time.
TEST(ShutdownGateTest, TasksEndingElsewhereAreAwaitedWithinABound) {
    testing::LogCapture log;
    auto clock = std::make_shared<testing::FakeClock>();
    auto main = std::make_shared<testing::ManualExecutor>(clock);
    auto worker = std::make_shared<testing::ManualExecutor>(clock);
    ShutdownGate gate;
    std::vector<std::string> ran;
    Completion<void()> stuck;
    gate.addLaterTask("elsewhere", [&](Completion<void()> done) {
        worker->post([&, done = std::move(done)]() mutable {
            ran.push_back("elsewhere");
            done();
        });
    });
    gate.addLaterTask("stuck", [&](Completion<void()> done) { stuck = std::move(done); });
    gate.addTask("last", [&] { ran.push_back("last"); });

    bool finished = false;
    gate.runTerminationTasks(
        main, [&] { finished = true; }, [&] { return clock->uptime(); });
    main->runAll();
    EXPECT_TRUE(ran.empty());
    worker->runAll();
    main->runAll();
    EXPECT_EQ(ran, (std::vector<std::string>{"elsewhere"}));
    EXPECT_FALSE(finished);

    // The stuck task is given up after the bound; its late end changes nothing.
    clock->advance(ShutdownGate::laterTaskBound);
    EXPECT_TRUE(finished);
    EXPECT_EQ(ran, (std::vector<std::string>{"elsewhere", "last"}));
    stuck();
    main->runAll();
    EXPECT_EQ(log.messages("shutdown"),
              (std::vector<std::string>{"끌 때 할 일 — elsewhere 0ms",
                                        "끌 때 할 일 — stuck 2000ms 시간 넘김",
                                        "끌 때 할 일 — last 0ms"}));
}

}  // namespace
}  // namespace parlendo
