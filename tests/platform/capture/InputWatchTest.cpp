#include "capture/X11InputSource.h"

#include "DesktopSession.h"
#include "LogCapture.h"
#include "capture/InputHub.h"
#include "capture/LookupHotkey.h"
#include "capture/SyntheticCopyLedger.h"
#include "capture/XTestKeyboard.h"
#include "foundation/GlibMainExecutor.h"

namespace parlendo {
namespace {

using testing::DesktopSession;

constexpr unsigned leftAlt = 64;
constexpr unsigned leftControl = 37;
constexpr unsigned rightAlt = 108;

// Records every event it is handed.
struct Recorder final : InputSubscriber {
    const InputKinds& kinds() const override { return all; }
    bool receivesSynthetic() const override { return synthetic; }
    std::string startLog() const override { return "recorder"; }
    void handle(const InputEvent& event) override { events.push_back(event); }

    InputKinds all{InputEvent::Kind::flagsChanged, InputEvent::Kind::keyDown,
                   InputEvent::Kind::keyUp, InputEvent::Kind::mouseDown,
                   InputEvent::Kind::scrollWheel};
    bool synthetic = false;
    std::vector<InputEvent> events;
};

struct InputWatchTest : ::testing::Test {
    void SetUp() override {
        if (!DesktopSession::available()) {
            GTEST_SKIP() << "no X display";
        }
        DesktopSession::ensure();
        source =
            X11InputSource::make({main, SystemClock::shared(), trail, [] { return false; }, {}});
        hub = std::make_shared<InputHub>(source, ledger);
        hotkey->onTrigger = [this](double at) {
            triggers.push_back(at);
        };
        hub->subscribe(hotkey);
        hub->subscribe(recorder);
        hub->start();
        ASSERT_TRUE(hub->isRunning());
        DesktopSession::pumpFor(0.2);
    }

    // Holds Alt and Control, then lets go of both.
    void chord(unsigned alt) {
        DesktopSession::key(alt, true);
        DesktopSession::key(leftControl, true);
        DesktopSession::key(leftControl, false);
        DesktopSession::key(alt, false);
    }

    testing::LogCapture log;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<SyntheticKeyTrail> trail = std::make_shared<SyntheticKeyTrail>();
    std::shared_ptr<SyntheticCopyLedger> ledger = std::make_shared<SyntheticCopyLedger>();
    std::shared_ptr<X11InputSource> source;
    std::shared_ptr<InputHub> hub;
    std::shared_ptr<LookupHotkey> hotkey = std::make_shared<LookupHotkey>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::vector<double> triggers;
};

TEST_F(InputWatchTest, TheChordOfTheKeyboardReachesTheHub) {
    chord(leftAlt);
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return !triggers.empty(); }));
    EXPECT_TRUE(log.contains("hotkey", "찾기 키 발동 held_ms="));
    // Both modifiers were seen as Option and Command, with their physical key codes.
    ASSERT_GE(recorder->events.size(), 4u);
    EXPECT_EQ(recorder->events[0].keyCode, leftAlt);
    EXPECT_EQ(recorder->events[0].modifierFlags, ModifierFlags::option);
    EXPECT_EQ(recorder->events[1].modifierFlags, ModifierFlags::option | ModifierFlags::command);
    EXPECT_FALSE(recorder->events[1].isSynthetic);
    EXPECT_EQ(recorder->events[3].modifierFlags, 0u);

    // A click between the modifiers cancels it.
    DesktopSession::key(leftAlt, true);
    DesktopSession::click(3);
    DesktopSession::key(leftControl, true);
    DesktopSession::key(leftControl, false);
    DesktopSession::key(leftAlt, false);
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return log.contains("hotkey", "찾기 키 취소 reason=click_between"); }));
    EXPECT_EQ(triggers.size(), 1u);
}

TEST_F(InputWatchTest, AltGrAndTheHangulKeyAreNeverOption) {
    for (const char* sym : {"ISO_Level3_Shift", "Hangul"}) {
        // AltGr is the fifth modifier; the Hangul key is none.
        const auto restore =
            DesktopSession::remapKey(rightAlt, sym, std::string(sym) == "Hangul" ? 8 : 7);
        DesktopSession::pumpFor(0.2);
        chord(rightAlt);
        DesktopSession::pumpFor(0.3);
        restore();
    }
    EXPECT_TRUE(triggers.empty());
    bool sawRightAlt = false;
    for (const auto& event : recorder->events) {
        EXPECT_EQ(event.modifierFlags & ModifierFlags::option, 0u);
        if (event.keyCode == rightAlt) {
            sawRightAlt = true;
            EXPECT_NE(event.kind, InputEvent::Kind::flagsChanged);
        }
    }
    EXPECT_TRUE(sawRightAlt);

    // With the plain keymap back, right Alt is Option again.
    DesktopSession::pumpFor(0.2);
    chord(rightAlt);
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return !triggers.empty(); }));
}

TEST_F(InputWatchTest, OwnCopyKeysAreSyntheticOtherXTestKeysAreNot) {
    recorder->synthetic = true;
    auto keyboard = XTestKeyboard::open(trail, SystemClock::shared());
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->postCopy(false));
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return recorder->events.size() >= 4; }));
    for (const auto& event : recorder->events) {
        EXPECT_TRUE(event.isSynthetic);
    }
    EXPECT_EQ(recorder->events[1].kind, InputEvent::Kind::keyDown);
    EXPECT_EQ(recorder->events[1].keyCode, 54);
    EXPECT_EQ(recorder->events[1].modifierFlags, ModifierFlags::command);
    EXPECT_EQ(trail->outstanding(), 0u);

    recorder->events.clear();
    DesktopSession::tap({leftControl, 54});
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return recorder->events.size() >= 4; }));
    for (const auto& event : recorder->events) {
        EXPECT_FALSE(event.isSynthetic);
    }
}

}  // namespace
}  // namespace parlendo
