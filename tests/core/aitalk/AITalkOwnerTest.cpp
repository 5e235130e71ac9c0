#include "FakeClock.h"
#include "HeldCompletions.h"
#include "LogCapture.h"
#include "aitalk/AITalkOwner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace parlendo {
namespace {

using Outcome = AITalkOwner::Outcome;
using testing::FakeClock;
using testing::HeldCompletions;
using testing::LogCapture;

const ActivePopup popup{"p1", "d1", "설명", "물리"};

struct OwnerRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    bool copy = true;
    bool writable = true;
    int writes = 0;
    int changes = 0;
    int asks = 0;
    HeldCompletions<PopupLookup> server;
    std::shared_ptr<AITalkOwner> owner =
        std::make_shared<AITalkOwner>([this] { return copy; },
                                      [this](bool on) {
                                          ++writes;
                                          if (writable) {
                                              copy = on;
                                          }
                                          return writable;
                                      },
                                      [this](Completion<void(PopupLookup)> done) {
                                          ++asks;
                                          server.hold(std::move(done));
                                      },
                                      clock);
    LogCapture log;

    OwnerRig() {
        owner->onChange = [this] {
            ++changes;
        };
    }
};

TEST(AITalkOwner, TheGateNeverAsksTheServer) {
    OwnerRig rig;
    EXPECT_EQ(rig.owner->gate(false), AITalkOwner::Gate::ignored("logged_out"));
    EXPECT_EQ(rig.owner->gate(true), AITalkOwner::Gate::proceed());
    rig.copy = false;
    EXPECT_EQ(rig.owner->gate(true), AITalkOwner::Gate::ignored("ai_talk_off"));
    EXPECT_EQ(rig.asks, 0);
}

TEST(AITalkOwner, ConcurrentSyncsShareOneRequestAndItsOutcome) {
    OwnerRig rig;
    std::vector<Outcome> got;
    rig.owner->sync("login", [&](Outcome o) { got.push_back(o); });
    rig.owner->sync("menu", [&](Outcome o) { got.push_back(o); });
    EXPECT_EQ(rig.asks, 1);
    EXPECT_TRUE(rig.owner->checking());
    rig.server.answerOldest(std::optional<ActivePopup>());  // off on the server
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], Outcome::changed(false));
    EXPECT_EQ(got[1], Outcome::changed(false));
    EXPECT_FALSE(rig.copy);
    EXPECT_EQ(rig.changes, 1);
    EXPECT_TRUE(rig.log.has("ai_talk", "AI 톡 사본 맞춤 on=false reason=login"));

    rig.owner->sync("again", [&](Outcome o) { got.push_back(o); });
    rig.server.answerOldest(std::optional<ActivePopup>());
    EXPECT_EQ(got.back(), Outcome::unchanged(false));
    EXPECT_EQ(rig.changes, 1) << "no second change";
}

TEST(AITalkOwner, DueSyncsRunAtMostEveryThirtySeconds) {
    OwnerRig rig;
    std::vector<std::optional<Outcome>> got;
    auto due = [&] {
        rig.owner->syncIfDue("cmdcc_off", [&](auto o) { got.push_back(o); });
    };
    due();
    EXPECT_EQ(rig.asks, 1);
    due();  // while it runs
    EXPECT_EQ(got.back(), std::nullopt);
    rig.server.answerOldest(fail(DriveFailure("network_unavailable")));
    EXPECT_EQ(got.back(), std::optional<Outcome>(Outcome::unknown()));
    EXPECT_TRUE(
        rig.log.contains("ai_talk", "서버를 모름 reason=cmdcc_off code=network_unavailable"));
    rig.clock->advance(10);
    due();
    EXPECT_EQ(rig.asks, 1) << "a failing server is asked at most every 30 seconds";
    rig.clock->advance(20);
    due();
    EXPECT_EQ(rig.asks, 2) << "exactly 30 seconds later";
    rig.server.answerOldest(std::optional<ActivePopup>(popup));
    EXPECT_EQ(got.back(), std::optional<Outcome>(Outcome::unchanged(true)));
}

TEST(AITalkOwner, AnAnswerIsDroppedWhenTheUserSwitchedMeanwhile) {
    OwnerRig rig;
    std::optional<Outcome> got;
    rig.owner->sync("login", [&](Outcome o) { got = o; });
    rig.copy = false;  // the user switches it off in the manage window
    rig.owner->noteCopyChanged();
    rig.server.answerOldest(std::optional<ActivePopup>(popup));
    EXPECT_EQ(got, Outcome::unknown());
    EXPECT_FALSE(rig.copy);
    EXPECT_EQ(rig.writes, 0);
    EXPECT_TRUE(rig.log.contains("ai_talk", "묻는 사이 사본이 바뀜"));
}

TEST(AITalkOwner, ApplyWritesOnlyADifferentValueAndReportsAFailedWrite) {
    OwnerRig rig;
    EXPECT_EQ(rig.owner->apply(true, "cmdcc"), Outcome::unchanged(true));
    rig.writable = false;
    EXPECT_EQ(rig.owner->apply(false, "cmdcc"), Outcome::unknown());
    EXPECT_EQ(rig.changes, 0);
    EXPECT_TRUE(rig.log.contains("ai_talk", "사본 맞추기 실패 — 이 맥에 못 씀 reason=cmdcc"));
    rig.writable = true;
    EXPECT_EQ(rig.owner->apply(false, "cmdcc"), Outcome::changed(false));
    EXPECT_EQ(rig.changes, 1);
}

TEST(AITalkOwner, AnOwnerGoneBeforeTheAnswerStillAnswersItsCallers) {
    OwnerRig rig;
    std::optional<Outcome> got;
    rig.owner->sync("login", [&](Outcome o) { got = o; });
    rig.owner.reset();
    rig.server.answerOldest(std::optional<ActivePopup>(popup));
    EXPECT_EQ(got, Outcome::unknown());
}

TEST(AITalkOwnerThreads, SyncsFromSeveralThreadsShareOneRequest) {
    OwnerRig rig;
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            rig.owner->sync("thread", [&](Outcome outcome) {
                answered += outcome == Outcome::unchanged(true);
            });
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(rig.asks, 1);
    std::thread server([&] { rig.server.answerOldest(std::optional<ActivePopup>(popup)); });
    server.join();
    EXPECT_EQ(answered.load(), 8);
    EXPECT_FALSE(rig.owner->checking());
}

}  // namespace
}  // namespace parlendo
