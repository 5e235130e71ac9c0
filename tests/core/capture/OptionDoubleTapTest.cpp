#include "capture/OptionDoubleTap.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

constexpr std::uint16_t leftAlt = 64;
constexpr std::uint16_t rightAlt = 108;

InputEvent flags(std::uint16_t key, std::uint64_t mods, double t) {
    InputEvent e;
    e.kind = InputEvent::Kind::flagsChanged;
    e.keyCode = key;
    e.modifierFlags = mods;
    e.timestamp = t;
    return e;
}

struct OptionDoubleTapTest : ::testing::Test {
    OptionDoubleTapTest() {
        tap.onTrigger = [this] {
            ++toggles;
        };
    }
    // Option down at `down`, up at `up`.
    void press(double down, double up, std::uint16_t key = leftAlt) {
        tap.handle(flags(key, ModifierFlags::option, down));
        tap.handle(flags(key, 0, up));
    }

    OptionDoubleTap tap;
    int toggles = 0;
    testing::LogCapture log;
};

TEST_F(OptionDoubleTapTest, TwoQuickTapsToggleOnce) {
    EXPECT_TRUE(tap.receivesSynthetic());
    EXPECT_EQ(tap.startLog(), "⌥ 두 번 감시 시작");
    press(1.0, 1.1);
    press(1.3, 1.4, rightAlt);
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(log.messages("hotkey"),
              std::vector<std::string>{"⌥ 두 번 발동 hold_ms=100 gap_ms=300"});
    // A third tap right after starts a new pair.
    press(1.5, 1.6);
    EXPECT_EQ(toggles, 1);
    press(1.7, 1.8);
    EXPECT_EQ(toggles, 2);
}

TEST_F(OptionDoubleTapTest, InterruptionsBreakThePair) {
    press(1.0, 1.1);
    InputEvent key;
    key.kind = InputEvent::Kind::keyDown;
    key.isSynthetic = true;  // even the application's own copy
    tap.handle(key);
    press(1.3, 1.4);
    EXPECT_EQ(toggles, 0);

    // A key press while Option is down spoils that tap.
    tap.handle(flags(leftAlt, ModifierFlags::option, 2.0));
    InputEvent scroll;
    scroll.kind = InputEvent::Kind::scrollWheel;
    tap.handle(scroll);
    tap.handle(flags(leftAlt, 0, 2.1));
    press(2.2, 2.3);
    EXPECT_EQ(toggles, 0);

    // Option together with another modifier resets everything.
    press(5.0, 5.1);
    tap.handle(flags(leftAlt, ModifierFlags::option | ModifierFlags::shift, 5.2));
    tap.handle(flags(leftAlt, 0, 5.3));
    press(5.4, 5.5);
    EXPECT_EQ(toggles, 0);
    EXPECT_TRUE(log.messages("hotkey").empty());
}

TEST_F(OptionDoubleTapTest, LongHoldsAndGapsLogNearTheLimitOnly) {
    press(1.0, 1.5);
    press(2.0, 4.0);
    EXPECT_EQ(log.messages("hotkey"),
              std::vector<std::string>{"⌥ 탭 취소 reason=held_too_long hold_ms=500"});
    log.clear();

    press(10.0, 10.1);
    press(10.6, 10.7);  // 0.6 s between releases: a new first tap
    press(10.8, 10.9);  // pairs with the previous one
    EXPECT_EQ(toggles, 1);
    press(20.0, 20.1);
    press(30.0, 30.1);  // far too late: silent
    EXPECT_EQ(log.messages("hotkey"),
              (std::vector<std::string>{"⌥ 두 번 취소 reason=gap_too_long gap_ms=600",
                                        "⌥ 두 번 발동 hold_ms=100 gap_ms=200"}));
}

TEST_F(OptionDoubleTapTest, OtherKeysAndUnmatchedReleasesReset) {
    press(1.0, 1.1);
    tap.handle(flags(50, ModifierFlags::shift, 1.2));  // Shift
    press(1.3, 1.4);
    EXPECT_EQ(toggles, 0);
    tap.handle(flags(leftAlt, 0, 2.0));  // release without a recorded press
    press(2.1, 2.2);
    press(2.3, 2.4);
    EXPECT_EQ(toggles, 1);
}

}  // namespace
}  // namespace parlendo
