#include "shell/ShutdownGate.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(ShutdownGateTest, TasksRunOnceInOrderAndCountersSum) {
    testing::LogCapture log;
    ShutdownGate gate;
    gate.runTerminationTasks();
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
    gate.runTerminationTasks(uptime);
    gate.runTerminationTasks(uptime);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(log.messages("shutdown"),
              (std::vector<std::string>{"끌 때 할 일 — first 250ms", "끌 때 할 일 — second 0ms"}));
}

}  // namespace
}  // namespace parlendo
