#include "shell/ShutdownDrain.h"
#include "shell/ShutdownPrompt.h"

#include "LogCapture.h"
#include "ManualExecutor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::LogCapture;
using testing::ManualExecutor;

struct DrainRig {
    std::optional<ShutdownDrain::Outcome> run(std::function<int()> inFlight) {
        std::optional<ShutdownDrain::Outcome> outcome;
        ShutdownDrain::run(ShutdownDrain::defaultTimeout, ShutdownDrain::defaultPoll, clock,
                           std::move(inFlight), executor,
                           [&](ShutdownDrain::Outcome value) { outcome = value; });
        executor->runAll();
        for (int i = 0; i < 1000 && !outcome; ++i) {
            clock->advance(ShutdownDrain::defaultPoll);
        }
        return outcome;
    }
    LogCapture log;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> executor = std::make_shared<ManualExecutor>(clock);
};

TEST(ShutdownDrainTest, NothingInFlightDrainsAtOnce) {
    DrainRig rig;
    const auto outcome = rig.run([] { return 0; });
    ASSERT_TRUE(outcome);
    EXPECT_EQ(*outcome, (ShutdownDrain::Outcome{true, 0.0, 0}));
    EXPECT_EQ(rig.log.messages("shutdown"), std::vector<std::string>{"드레인 완료 0.00초"});
}

TEST(ShutdownDrainTest, WorkThatEndsIsNoticedWithinOnePoll) {
    DrainRig rig;
    const double start = rig.clock->uptime();
    const auto outcome = rig.run([&] { return rig.clock->uptime() - start < 0.3 ? 2 : 0; });
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->drained);
    EXPECT_EQ(outcome->remaining, 0);
    EXPECT_GE(outcome->waited, 0.3 - 1e-9);
    EXPECT_LE(outcome->waited, 0.35 + 1e-9);
    EXPECT_EQ(rig.log.count("shutdown", "드레인 완료 0.3"), 1u);
}

TEST(ShutdownDrainTest, WorkThatNeverEndsTimesOutAfterTwelveSeconds) {
    DrainRig rig;
    int reads = 0;
    const auto outcome = rig.run([&] { return ++reads > 100 ? 4 : 3; });
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->drained);
    // The count read after the time-out is the one reported.
    EXPECT_EQ(outcome->remaining, 4);
    EXPECT_GE(outcome->waited, 12.0);
    EXPECT_LE(outcome->waited, 12.05 + 1e-9);
    EXPECT_EQ(rig.log.messages("shutdown"),
              std::vector<std::string>{"드레인 상한 12초 — 남은 작업 4 (유실 가능)"});
}

TEST(ShutdownPromptTest, MessageAndChoices) {
    EXPECT_EQ(ShutdownPrompt::message(2, 0),
              "저장 중인 것이 2건 남아 있어요. 지금 끄면 그 단어·문장이 단어장에 들어가지 않을 수 "
              "있어요.\n인터넷 연결을 확인한 뒤 [더 기다리기]를 눌러 주세요.");
    EXPECT_EQ(ShutdownPrompt::message(12345, 3),
              "저장 중인 것이 12345건 남아 있어요. 지금 끄면 그 단어·문장이 단어장에 들어가지 않을 "
              "수 있어요.\n인터넷 연결을 확인한 뒤 [더 기다리기]를 눌러 주세요.\n이번에 저장되지 "
              "않은 것이 3건 있어요.");
    EXPECT_EQ(ShutdownPrompt::choice(0), ShutdownPrompt::Choice::waitMore);
    EXPECT_EQ(ShutdownPrompt::choice(2), ShutdownPrompt::Choice::quitAnyway);
    for (int other : {1, -1, 3, 1000}) {
        EXPECT_EQ(ShutdownPrompt::choice(other), ShutdownPrompt::Choice::cancel) << other;
    }
}

}  // namespace
}  // namespace parlendo
