#include "capture/DetectStore.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

struct DetectStoreTest : ::testing::Test {
    DetectStoreTest() {
        store->addObserver([this](const DetectState& now, const DetectState& before) {
            calls.emplace_back(now, before);
        });
    }
    void grant() {
        store->write([](DetectState& s) {
            s.permissionGranted = true;
            s.loggedIn = true;
        });
        calls.clear();
    }

    std::shared_ptr<DetectStore> store = std::make_shared<DetectStore>();
    std::vector<std::pair<DetectState, DetectState>> calls;
    testing::LogCapture log;
};

TEST_F(DetectStoreTest, ObserversSeeNewAndPreviousInOrder) {
    std::vector<int> order;
    store->addObserver([&](const DetectState&, const DetectState&) {
        order.push_back(1);
        // Added during the calls: waits for the next change.
        store->addObserver([&](const DetectState&, const DetectState&) { order.push_back(3); });
    });
    store->addObserver([&](const DetectState&, const DetectState&) { order.push_back(2); });

    store->write([](DetectState& s) { s.rejections.busy += 1; });
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first.rejections.busy, 1);
    EXPECT_EQ(calls[0].second.rejections.busy, 0);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    store->write([](DetectState&) {});
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 2, 3}));
}

TEST_F(DetectStoreTest, ControlSwitchesOnlyWhenConditionsHold) {
    auto control = store->control();
    control.setEnabled(true);  // not signed in, no permission
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(log.messages("detect").empty());
    EXPECT_FALSE(control.state().enabled);

    grant();
    control.setEnabled(true);
    EXPECT_TRUE(control.state().enabled);
    control.setEnabled(true);  // already on: still told and logged
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[1].first.enabled);
    EXPECT_TRUE(calls[1].second.enabled);
    control.setEnabled(false);
    EXPECT_EQ(log.messages("detect"),
              (std::vector<std::string>{"enabled=true source=manage", "enabled=true source=manage",
                                        "enabled=false source=manage"}));

    store->write([](DetectState& s) { s.healthy = false; });
    calls.clear();
    control.setEnabled(true);
    EXPECT_TRUE(calls.empty());
}

TEST_F(DetectStoreTest, ControlOfAGoneStoreReadsTheInitialState) {
    grant();
    auto control = store->control();
    store->write([](DetectState& s) { s.rejections.popups = 4; });
    EXPECT_EQ(control.state().rejections.popups, 4);
    store.reset();
    EXPECT_EQ(control.state(), DetectState{});
    control.setEnabled(true);
    EXPECT_TRUE(log.messages("detect").empty());
}

}  // namespace
}  // namespace parlendo
