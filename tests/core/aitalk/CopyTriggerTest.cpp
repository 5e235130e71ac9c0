#include "LogCapture.h"
#include "ManualExecutor.h"
#include "aitalk/AITalkKeys.h"
#include "aitalk/ClipboardFetch.h"
#include "aitalk/CopyDoubleTap.h"
#include "aitalk/CopyDoubleTapHotkey.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace parlendo {
namespace {

using testing::LogCapture;
using testing::ManualExecutor;

constexpr std::uint16_t C = AITalkKeys::copyKeyCode;
constexpr std::uint16_t V = 55;

TEST(CopyDoubleTap, TwoPressesWithinTheWindowTriggerOncePerHold) {
    CopyDoubleTap tap(0.5);
    EXPECT_EQ(tap.key(C, true, 10.0, false, false), CopyDoubleTap::Outcome::none());
    EXPECT_EQ(tap.key(C, true, 10.3, false, false), CopyDoubleTap::Outcome::after(10.3 - 10.0));
    // A third C while the modifier stays down does nothing.
    EXPECT_EQ(tap.key(C, true, 10.4, false, false), CopyDoubleTap::Outcome::none());
    EXPECT_EQ(tap.key(C, true, 10.5, false, false), CopyDoubleTap::Outcome::none());
    // Release and press again: a new pair may trigger.
    tap.modifiers(false);
    EXPECT_EQ(tap.key(C, true, 11.0, false, false), CopyDoubleTap::Outcome::none());
    EXPECT_TRUE(tap.key(C, true, 11.5, false, false).triggered) << "a gap of exactly 0.5 counts";
}

TEST(CopyDoubleTap, ALatePressReArmsAndAnEqualTimeKeepsTheFirst) {
    CopyDoubleTap tap(0.5);
    tap.key(C, true, 1.0, false, false);
    EXPECT_FALSE(tap.key(C, true, 1.6, false, false).triggered);
    EXPECT_EQ(tap.firstAt(), 1.6);
    EXPECT_TRUE(tap.key(C, true, 2.0, false, false).triggered);

    CopyDoubleTap same(0.5);
    same.key(C, true, 5.0, false, false);
    EXPECT_FALSE(same.key(C, true, 5.0, false, false).triggered);
    EXPECT_EQ(same.firstAt(), 5.0);
}

TEST(CopyDoubleTap, AnythingInBetweenBreaksThePair) {
    struct Case {
        const char* name;
        std::function<void(CopyDoubleTap&)> between;
        bool secondCommandOnly = true;
    };
    const std::vector<Case> cases = {
        {"other modifiers", [](CopyDoubleTap&) {}, false},
        {"a click",
         [](CopyDoubleTap& t) {
             t.click();
         }},
        {"another key",
         [](CopyDoubleTap& t) {
             t.key(V, true, 1.1, false, false);
         }},
        {"a key to an own window",
         [](CopyDoubleTap& t) {
             t.key(C, true, 1.1, false, true);
         }},
    };
    for (const auto& c : cases) {
        CopyDoubleTap tap(0.5);
        tap.key(C, c.secondCommandOnly, 1.0, false, false);
        c.between(tap);
        EXPECT_FALSE(tap.key(C, c.secondCommandOnly, 1.2, false, false).triggered) << c.name;
    }
    CopyDoubleTap repeat(0.5);
    repeat.key(C, true, 1.0, false, false);
    EXPECT_FALSE(repeat.key(C, true, 1.1, true, false).triggered);
    EXPECT_TRUE(repeat.key(C, true, 1.2, false, false).triggered) << "a repeat resets nothing";
}

InputEvent flags(std::uint64_t mask, double at = 0) {
    InputEvent e;
    e.kind = InputEvent::Kind::flagsChanged;
    e.modifierFlags = mask;
    e.timestamp = at;
    return e;
}

InputEvent keyDown(std::uint16_t code, double at, bool ownApp = false, bool repeat = false) {
    InputEvent e;
    e.kind = InputEvent::Kind::keyDown;
    e.modifierFlags = ModifierFlags::command;
    e.keyCode = code;
    e.timestamp = at;
    e.toOwnApp = ownApp;
    e.isRepeat = repeat;
    return e;
}

TEST(CopyDoubleTapHotkey, TriggersWithTheCountFromWhenCtrlWentDown) {
    LogCapture log;
    std::int64_t count = 7;
    CopyDoubleTapHotkey hotkey([&] { return count; });
    EXPECT_EQ(hotkey.baseline(), 7);
    EXPECT_FALSE(hotkey.receivesSynthetic());
    std::vector<std::pair<std::int64_t, double>> triggers;
    hotkey.onTrigger = [&](std::int64_t baseline, double at) {
        triggers.emplace_back(baseline, at);
    };

    count = 10;
    hotkey.handle(flags(ModifierFlags::command | 0x10000 /* caps lock */));
    count = 11;                                    // the first C copies
    hotkey.handle(flags(ModifierFlags::command));  // repeated: keeps the first baseline
    hotkey.handle(keyDown(C, 20.0));
    hotkey.handle(keyDown(C, 20.25));
    ASSERT_EQ(triggers.size(), 1u);
    EXPECT_EQ(triggers[0], std::make_pair(std::int64_t{10}, 20.25));
    EXPECT_TRUE(log.has("hotkey", "AI 톡 키 발동 gap_ms=250"));

    // Ctrl+Shift breaks the hold; Ctrl alone again takes a new baseline.
    hotkey.handle(flags(ModifierFlags::command | ModifierFlags::shift));
    EXPECT_FALSE(hotkey.commandOnly());
    hotkey.handle(keyDown(C, 21.0));
    hotkey.handle(keyDown(C, 21.1));
    EXPECT_EQ(triggers.size(), 1u) << "Ctrl+Shift+C twice is not the trigger";
    count = 12;
    hotkey.handle(flags(ModifierFlags::command));
    hotkey.handle(keyDown(C, 22.0));
    InputEvent click;
    click.kind = InputEvent::Kind::mouseDown;
    hotkey.handle(click);
    hotkey.handle(keyDown(C, 22.1));
    EXPECT_EQ(triggers.size(), 1u) << "a click between the presses";
    hotkey.handle(keyDown(C, 22.2));
    ASSERT_EQ(triggers.size(), 2u);
    EXPECT_EQ(triggers[1].first, 12);
}

TEST(CopyDoubleTapHotkey, PressesIntoItsOwnWindowsAreLoggedAndIgnored) {
    LogCapture log;
    CopyDoubleTapHotkey hotkey([] { return 1; });
    int triggers = 0;
    hotkey.onTrigger = [&](std::int64_t, double) {
        ++triggers;
    };
    hotkey.handle(flags(ModifierFlags::command));
    hotkey.handle(keyDown(C, 1.0, true));
    hotkey.handle(keyDown(C, 1.1, true));
    hotkey.handle(keyDown(C, 1.15, true, true));
    EXPECT_EQ(triggers, 0);
    EXPECT_EQ(log.count("hotkey", "AI 톡 키 무시 — PARLENDO 자기 창"), 2u);
}

// A clipboard whose change count and text the test sets, with writes scheduled on the clock.
class FakeClipboard final : public ClipboardSource {
  public:
    std::int64_t changeCount() override {
        ++looks;
        return count;
    }
    void text(Completion<void(std::optional<std::string>)> done) override { done(content); }
    void write(std::optional<std::string> text) {
        count += 1;
        content = std::move(text);
    }
    std::int64_t count = 100;
    std::optional<std::string> content;
    int looks = 0;
};

struct FetchRig {
    std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<SyntheticCopyLedger> ledger = std::make_shared<SyntheticCopyLedger>();
    std::optional<ClipboardFetch::Outcome> outcome;

    void start(double wait = AITalkKeys::copyWait) {
        ClipboardFetch::run(clipboard, ledger, 100, wait, AITalkKeys::copyPoll, main,
                            [this](ClipboardFetch::Outcome o) { outcome = std::move(o); });
    }
    void at(double seconds, std::function<void()> change) {
        clock->schedule(clock->uptime() + seconds, std::move(change));
    }
};

TEST(ClipboardFetch, ReadsTheTextUntrimmedWithTheTimeWaited) {
    FetchRig rig;
    rig.clipboard->write(" a ");
    rig.start();
    ASSERT_TRUE(rig.outcome);
    EXPECT_EQ(*rig.outcome, ClipboardFetch::Outcome(ClipboardFetch::Text{" a ", 0}));

    FetchRig later;
    later.at(0.035, [&] { later.clipboard->write("later text"); });
    later.start();
    later.clock->advance(1.0);
    ASSERT_TRUE(later.outcome);
    const auto& text = std::get<ClipboardFetch::Text>(*later.outcome);
    EXPECT_EQ(text.text, "later text");
    EXPECT_NEAR(text.waitedMs, 40, 1e-6);
}

TEST(ClipboardFetch, GivesUpAfterFortyOneLooksAndIgnoresItsOwnCopies) {
    FetchRig rig;
    rig.at(0.1, [&] {
        rig.clipboard->write("own copy");
        rig.ledger->mark(rig.clipboard->count);
    });
    rig.start();
    rig.clock->advance(1.0);
    ASSERT_TRUE(rig.outcome);
    EXPECT_EQ(*rig.outcome, ClipboardFetch::Outcome(ClipboardFetch::NoCopy{}));
    EXPECT_EQ(rig.clipboard->looks, 41);

    FetchRig once;
    once.start(0);
    EXPECT_EQ(*once.outcome, ClipboardFetch::Outcome(ClipboardFetch::NoCopy{}));
    EXPECT_EQ(once.clipboard->looks, 1);
}

TEST(ClipboardFetch, AChangeWithoutTextIsUnreadable) {
    for (const std::optional<std::string>& content :
         {std::optional<std::string>(), std::optional<std::string>("   \n\t")}) {
        FetchRig rig;
        rig.clipboard->write(content);
        rig.start();
        EXPECT_EQ(*rig.outcome, ClipboardFetch::Outcome(ClipboardFetch::Unreadable{}));
    }
}

TEST(ClipboardFetch, AMegabyteOfTextIsHandedOverWhole) {
    FetchRig rig;
    const std::string big(1 << 20, 'x');
    rig.clipboard->write(big);
    rig.start();
    ASSERT_TRUE(rig.outcome);
    EXPECT_EQ(std::get<ClipboardFetch::Text>(*rig.outcome).text.size(), big.size());
}

}  // namespace
}  // namespace parlendo
