#include "capture/LookupHotkey.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

InputEvent flags(std::uint64_t mods, double t, bool own = false) {
    InputEvent e;
    e.kind = InputEvent::Kind::flagsChanged;
    e.modifierFlags = mods;
    e.timestamp = t;
    e.toOwnApp = own;
    return e;
}

InputEvent of(InputEvent::Kind kind, double t) {
    InputEvent e;
    e.kind = kind;
    e.timestamp = t;
    return e;
}

constexpr auto alt = ModifierFlags::option;
constexpr auto ctrl = ModifierFlags::command;

struct LookupHotkeyTest : ::testing::Test {
    LookupHotkeyTest() {
        hotkey.onTrigger = [this](double t) {
            triggers.push_back(t);
        };
    }
    LookupHotkey hotkey;
    std::vector<double> triggers;
    testing::LogCapture log;
};

TEST_F(LookupHotkeyTest, TriggersWithReleaseTimestamp) {
    EXPECT_EQ(hotkey.startLog(), "찾기 키 감시 시작 (⌥⌘ · 최대 0.8초)");
    EXPECT_FALSE(hotkey.receivesSynthetic());
    hotkey.handle(flags(alt, 5.0));
    hotkey.handle(flags(alt | ctrl | 0x100, 5.1));  // device-dependent bits are ignored
    hotkey.handle(flags(ctrl, 5.2));
    hotkey.handle(flags(0, 5.35));
    EXPECT_EQ(triggers, std::vector<double>{5.35});
    EXPECT_EQ(log.messages("hotkey"), std::vector<std::string>{"찾기 키 발동 held_ms=250"});
}

TEST_F(LookupHotkeyTest, LogsRejections) {
    hotkey.handle(flags(alt, 1.0));
    hotkey.handle(of(InputEvent::Kind::keyDown, 1.05));
    hotkey.handle(flags(alt | ctrl, 1.1));
    hotkey.handle(flags(0, 1.2));
    hotkey.handle(flags(alt | ctrl, 2.0));
    hotkey.handle(of(InputEvent::Kind::mouseDown, 2.1));
    hotkey.handle(flags(0, 2.2));
    hotkey.handle(flags(alt | ModifierFlags::shift, 3.0));
    hotkey.handle(flags(alt, 3.05));
    hotkey.handle(flags(alt | ctrl, 3.1));
    hotkey.handle(flags(0, 3.2));
    hotkey.handle(flags(alt | ctrl, 4.0));
    hotkey.handle(flags(0, 5.0));
    // Alt alone with a key press: never a chord, nothing logged.
    hotkey.handle(flags(alt, 6.0));
    hotkey.handle(of(InputEvent::Kind::keyDown, 6.1));
    hotkey.handle(flags(0, 6.2));
    EXPECT_TRUE(triggers.empty());
    EXPECT_EQ(log.messages("hotkey"),
              (std::vector<std::string>{
                  "찾기 키 취소 reason=key_between", "찾기 키 취소 reason=click_between",
                  "찾기 키 취소 reason=other_modifier", "찾기 키 취소 reason=too_slow"}));
}

TEST_F(LookupHotkeyTest, OwnWindowChordIsIgnored) {
    hotkey.handle(flags(alt | ctrl, 1.0, true));
    hotkey.handle(flags(0, 1.1, true));
    EXPECT_TRUE(triggers.empty());
    EXPECT_EQ(log.messages("hotkey"),
              (std::vector<std::string>{"찾기 키 발동 held_ms=100",
                                        "찾기 키 무시 — PARLENDO 자기 창(키가 이 앱에 옴)"}));
}

TEST_F(LookupHotkeyTest, WithoutClosureNothingHappens) {
    LookupHotkey bare;
    bare.handle(flags(alt | ctrl, 1.0));
    bare.handle(flags(0, 1.1));
    EXPECT_EQ(log.messages("hotkey").size(), 1u);
}

}  // namespace
}  // namespace parlendo
