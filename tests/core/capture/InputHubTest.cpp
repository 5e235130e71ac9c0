#include "capture/InputHub.h"

#include "FakeInputSource.h"
#include "LogCapture.h"
#include "capture/CaptureKeys.h"
#include "capture/SyntheticCopyLedger.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeInputSource;
using testing::LogCapture;

class Recorder final : public InputSubscriber {
  public:
    Recorder(InputKinds kinds, bool synthetic, std::string log)
        : kinds_(std::move(kinds)), synthetic_(synthetic), log_(std::move(log)) {}
    const InputKinds& kinds() const override { return kinds_; }
    bool receivesSynthetic() const override { return synthetic_; }
    std::string startLog() const override { return log_; }
    void handle(const InputEvent& event) override { events.push_back(event); }

    std::vector<InputEvent> events;

  private:
    InputKinds kinds_;
    bool synthetic_;
    std::string log_;
};

const InputKinds allKinds{InputEvent::Kind::flagsChanged, InputEvent::Kind::keyDown,
                          InputEvent::Kind::keyUp, InputEvent::Kind::mouseDown,
                          InputEvent::Kind::scrollWheel};

struct InputHubTest : ::testing::Test {
    std::shared_ptr<FakeInputSource> source = std::make_shared<FakeInputSource>();
    std::shared_ptr<SyntheticCopyLedger> ledger = std::make_shared<SyntheticCopyLedger>();
    InputHub hub{source, ledger};
    LogCapture log;
};

TEST_F(InputHubTest, StartsOnceAndRestartReinstallsMonitors) {
    hub.subscribe(std::make_shared<Recorder>(allKinds, false, "first"));
    hub.subscribe(std::make_shared<Recorder>(allKinds, false, "second"));
    EXPECT_TRUE(log.messages("hotkey").empty());

    hub.start();
    hub.start();
    EXPECT_EQ(source->added(), 2u);
    EXPECT_EQ(log.messages("hotkey"), (std::vector<std::string>{"first", "second"}));

    log.clear();
    hub.restart("x");
    EXPECT_EQ(source->removed(), 2u);
    EXPECT_EQ(source->installed(), 2u);
    EXPECT_EQ(
        log.messages("hotkey"),
        (std::vector<std::string>{"전역 키 감시 다시 걸기 reason=x removed=2", "first", "second"}));

    // A subscriber that arrives while running logs its line at once.
    log.clear();
    hub.subscribe(std::make_shared<Recorder>(allKinds, false, "late"));
    EXPECT_EQ(log.messages("hotkey"), std::vector<std::string>{"late"});
}

TEST_F(InputHubTest, RefusedMonitorLeavesNoToken) {
    source->refuseGlobal = true;
    hub.start();
    EXPECT_EQ(hub.monitorCount(), 1u);
    hub.restart("permission_restored");
    EXPECT_TRUE(log.has("hotkey", "전역 키 감시 다시 걸기 reason=permission_restored removed=1"));

    source->refuseLocal = true;
    hub.restart("again");
    EXPECT_FALSE(hub.isRunning());
    // Stopped again: the next start tries once more.
    source->refuseGlobal = source->refuseLocal = false;
    hub.start();
    EXPECT_EQ(hub.monitorCount(), 2u);
}

TEST_F(InputHubTest, MapsRawEvents) {
    RawInputEvent raw;
    raw.type = RawInputEvent::Type::rightMouseDown;
    raw.keyCode = 12;
    raw.isRepeat = true;
    raw.modifierFlags = ModifierFlags::option | 0x100;
    raw.timestamp = 42.5;
    auto event = InputHub::makeEvent(raw, false);
    EXPECT_EQ(event.kind, InputEvent::Kind::mouseDown);
    EXPECT_EQ(event.keyCode, 0);
    EXPECT_FALSE(event.isRepeat);
    EXPECT_EQ(event.modifierFlags, ModifierFlags::option | 0x100);
    EXPECT_EQ(event.timestamp, 42.5);
    EXPECT_FALSE(event.isSynthetic);

    raw.type = RawInputEvent::Type::otherMouseDown;
    EXPECT_EQ(InputHub::makeEvent(raw, false).kind, InputEvent::Kind::mouseDown);

    raw.type = RawInputEvent::Type::flagsChanged;
    event = InputHub::makeEvent(raw, true);
    EXPECT_EQ(event.kind, InputEvent::Kind::flagsChanged);
    EXPECT_EQ(event.keyCode, 12);
    EXPECT_FALSE(event.isRepeat);
    EXPECT_TRUE(event.toOwnApp);

    raw.type = RawInputEvent::Type::keyUp;
    event = InputHub::makeEvent(raw, false);
    EXPECT_TRUE(event.isRepeat);
    EXPECT_EQ(event.keyCode, 12);

    raw.type = RawInputEvent::Type::scrollWheel;
    EXPECT_EQ(InputHub::makeEvent(raw, false).keyCode, 0);

    raw.userData = CaptureKeys::syntheticEventTag;
    EXPECT_TRUE(InputHub::makeEvent(raw, false).isSynthetic);
    raw.userData = 0;
    EXPECT_FALSE(InputHub::makeEvent(raw, false).isSynthetic);
}

TEST_F(InputHubTest, DispatchesByKindAndSyntheticTag) {
    auto keys = std::make_shared<Recorder>(InputKinds{InputEvent::Kind::keyDown}, false, "k");
    auto clicks = std::make_shared<Recorder>(InputKinds{InputEvent::Kind::mouseDown}, true, "c");
    auto synthetic = std::make_shared<Recorder>(allKinds, true, "s");
    hub.subscribe(keys);
    hub.subscribe(clicks);
    hub.subscribe(synthetic);
    hub.start();

    RawInputEvent copy;
    copy.type = RawInputEvent::Type::keyDown;
    copy.keyCode = CaptureKeys::copyKeyCode;
    copy.modifierFlags = ModifierFlags::command;
    copy.userData = CaptureKeys::syntheticEventTag;
    source->sendGlobal(copy);
    EXPECT_TRUE(keys->events.empty());
    ASSERT_EQ(synthetic->events.size(), 1u);
    EXPECT_TRUE(synthetic->events[0].isSynthetic);

    copy.userData.reset();
    source->sendLocal(copy);
    ASSERT_EQ(keys->events.size(), 1u);
    EXPECT_TRUE(keys->events[0].toOwnApp);
    EXPECT_FALSE(keys->events[0].isSynthetic);
    EXPECT_TRUE(clicks->events.empty());
    EXPECT_EQ(synthetic->events.size(), 2u);
}

TEST_F(InputHubTest, RemovesItsMonitorsWhenDestroyed) {
    auto recorder = std::make_shared<Recorder>(allKinds, true, "r");
    auto other = std::make_shared<FakeInputSource>();
    {
        InputHub shortLived(other, ledger);
        shortLived.subscribe(recorder);
        shortLived.start();
        other->sendGlobal(RawInputEvent{});
        EXPECT_EQ(recorder->events.size(), 1u);
    }
    EXPECT_EQ(other->installed(), 0u);
    other->sendGlobal(RawInputEvent{});
    EXPECT_EQ(recorder->events.size(), 1u);
}

}  // namespace
}  // namespace parlendo
