#include "ManualExecutor.h"
#include "aitalk/AnswerAhead.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::ManualExecutor;

// The answer window's build and release, with a build that finishes only when the test says so.
struct AheadRig {
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>();
    int builds = 0;
    int releases = 0;
    bool inUse = false;
    std::vector<Completion<void()>> pending;
    std::shared_ptr<AnswerAhead> ahead = std::make_shared<AnswerAhead>(
        main, AnswerAhead::Hooks{[this](Completion<void()> done) {
                                     ++builds;
                                     pending.push_back(std::move(done));
                                 },
                                 [this] { ++releases; },
                                 [this] {
                                     return inUse;
                                 }});

    void finishBuild() {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.erase(pending.begin());
        done();
    }
    void afterStart() { main->clock()->advance(AnswerAhead::afterStart); }
};

TEST(AnswerAhead, ItIsBuiltAMomentAfterStartOnlyWhileTheGateIsOpen) {
    AheadRig rig;
    rig.ahead->start();
    rig.afterStart();
    EXPECT_EQ(rig.builds, 0) << "signed out, or AI talk off: no window";

    rig.ahead->gate(true);
    EXPECT_EQ(rig.builds, 1);
    EXPECT_TRUE(rig.ahead->building());
    rig.ahead->gate(true);
    EXPECT_EQ(rig.builds, 1) << "one build at a time";
    rig.finishBuild();
    EXPECT_TRUE(rig.ahead->built());

    // An open gate at start waits out the moment after start.
    AheadRig early;
    early.ahead->start();
    early.ahead->gate(true);
    EXPECT_EQ(early.builds, 0);
    early.afterStart();
    EXPECT_EQ(early.builds, 1);
    early.finishBuild();
}

TEST(AnswerAhead, AClosedGateLetsTheWindowGoOnceNoConversationIsOnScreen) {
    AheadRig rig;
    rig.ahead->start();
    rig.afterStart();
    rig.ahead->gate(true);
    rig.finishBuild();

    rig.inUse = true;
    rig.ahead->gate(false);
    EXPECT_EQ(rig.releases, 0) << "the answer on the screen stays";
    rig.inUse = false;
    rig.ahead->settled();
    EXPECT_EQ(rig.releases, 1);
    EXPECT_FALSE(rig.ahead->built());
    rig.ahead->settled();
    EXPECT_EQ(rig.releases, 1);

    // Opened again, it is built again.
    rig.ahead->gate(true);
    EXPECT_EQ(rig.builds, 2);
    rig.finishBuild();
    rig.ahead->settled();
    EXPECT_EQ(rig.releases, 1) << "a conversation that ends with the gate open keeps the window";

    // A conversation that ends in a notice, without closing the window, is noticed later.
    rig.inUse = true;
    rig.ahead->gate(false);
    rig.inUse = false;
    rig.main->clock()->advance(AnswerAhead::recheckSeconds);
    EXPECT_EQ(rig.releases, 2);
}

TEST(AnswerAhead, AGateThatClosesDuringTheBuildLetsTheWindowGoWhenItIsDone) {
    AheadRig rig;
    rig.ahead->start();
    rig.afterStart();
    rig.ahead->gate(true);
    rig.ahead->gate(false);
    rig.finishBuild();
    EXPECT_EQ(rig.releases, 1);
    EXPECT_FALSE(rig.ahead->built());

    // Closed and opened again meanwhile: kept.
    rig.ahead->gate(true);
    rig.ahead->gate(false);
    rig.ahead->gate(true);
    rig.finishBuild();
    EXPECT_EQ(rig.releases, 1);
    EXPECT_TRUE(rig.ahead->built());
}

TEST(AnswerAhead, AQuestionBeforeTheWindowIsThereWaitsForOneBuild) {
    AheadRig rig;
    rig.ahead->start();
    int ready = 0;
    rig.ahead->whenBuilt([&] { ++ready; });
    rig.ahead->whenBuilt([&] { ++ready; });
    EXPECT_EQ(rig.builds, 1) << "a question does not wait out the moment after start";
    EXPECT_EQ(ready, 0);
    rig.inUse = true;  // the first question's conversation opens with the window
    rig.finishBuild();
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(rig.releases, 0);
    rig.afterStart();
    EXPECT_EQ(rig.builds, 1);
    rig.ahead->whenBuilt([&] { ++ready; });
    EXPECT_EQ(ready, 3) << "built: at once";

    // The gate closed while it was on the screen: it goes when the conversation ends.
    rig.ahead->gate(false);
    rig.inUse = false;
    rig.ahead->settled();
    EXPECT_EQ(rig.releases, 1);
}

}  // namespace
}  // namespace parlendo
