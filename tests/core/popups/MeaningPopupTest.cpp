#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ManualExecutor.h"
#include "popups/MeaningPopup.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::ManualExecutor;

// A card window that only remembers what it was told.
struct FakeWindow final : PopupCardWindow {
    struct State {
        PopupCardLook look;
        Handlers handlers;
        std::vector<MeaningView::Label> labels;
        double scrollHeight = 0;
        PopupRect frame{0, 0, 0, 80};
        bool visible = false;
        bool closed = false;
        bool dragging = false;
        std::string footer;
        double contentHeight = -1;  // when set, the content's height instead of 20 per label

        std::string text() const {
            std::string out;
            for (const auto& label : labels) {
                for (const auto& run : label.runs) {
                    out += run.text;
                }
                out += "|";
            }
            return out;
        }
        // The user moves the card by (dx, dy) and lets go.
        void drag(double dx, double dy) {
            frame.x += dx;
            frame.y += dy;
            handlers.dragEnded();
        }
    };

    explicit FakeWindow(std::shared_ptr<State> s) : state(std::move(s)) {}
    double setContent(const std::vector<MeaningView::Label>& labels) override {
        state->labels = labels;
        return state->contentHeight >= 0 ? state->contentHeight : 20.0 * labels.size();
    }
    void setSize(double scrollHeight, double width, double height) override {
        state->scrollHeight = scrollHeight;
        state->frame = PopupRect{state->frame.x, state->frame.maxY() - height, width, height};
    }
    void setFrame(const PopupRect& frame) override {
        state->frame = frame;
        state->visible = true;
    }
    PopupRect frame() const override { return state->frame; }
    bool isVisible() const override { return state->visible; }
    void setFooter(const std::string& text) override { state->footer = text; }
    bool dragging() const override { return state->dragging; }
    void close() override {
        state->closed = true;
        state->visible = false;
    }

    std::shared_ptr<State> state;
};

struct FakeScreens final : PopupScreens {
    std::vector<PopupScreen> list{{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
    std::pair<double, double> pointer{700, 450};
    std::vector<PopupScreen> screens() const override { return list; }
    std::pair<double, double> mouse() const override { return pointer; }
};

class MeaningPopupTest : public ::testing::Test {
  protected:
    MeaningPopupTest() {
        popup = MeaningPopup::make(executor, clock, screens,
                                   [this](const PopupCardLook& look, PopupCardWindow::Handlers h) {
                                       auto state = std::make_shared<FakeWindow::State>();
                                       state->look = look;
                                       state->handlers = std::move(h);
                                       state->contentHeight = nextContentHeight;
                                       windows.push_back(state);
                                       return std::make_unique<FakeWindow>(state);
                                   });
    }

    PopupID id(int slot) const { return PopupID{"C1", slot}; }
    bool openAt(int slot, PopupRect selection, PopupOptions options = {}) {
        return popup->open(id(slot), PopupBody::loading("run", "조회 중…"), "· 단어", options,
                           PopupAnchor::selection(selection), 11.6);
    }
    // Advances the clock tick by tick.
    void wait(double seconds) { clock->advance(seconds); }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> executor = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    std::vector<std::shared_ptr<FakeWindow::State>> windows;
    double nextContentHeight = -1;
    std::shared_ptr<MeaningPopup> popup;
};

const PopupRect selection{200, 600, 80, 18};

TEST_F(MeaningPopupTest, CardsStackUnderTheSelectionAndAtMostFiveAreOpen) {
    ASSERT_TRUE(openAt(0, selection));
    ASSERT_TRUE(openAt(1, selection));
    // Loading body: title, setting line, note: 60 points of content, 102 with the card's chrome.
    EXPECT_EQ(windows[0]->frame, (PopupRect{200, 492, 320, 102}));
    EXPECT_EQ(windows[1]->frame, (PopupRect{200, 380, 320, 102}));
    EXPECT_TRUE(windows[0]->visible);
    EXPECT_EQ(windows[0]->look.contentWidth, 272);
    EXPECT_EQ(windows[0]->text(), "run|· 단어|조회 중…|");
    EXPECT_EQ(windows[0]->footer, "");

    for (int slot = 2; slot < 5; ++slot) {
        ASSERT_TRUE(openAt(slot, selection));
    }
    EXPECT_FALSE(openAt(5, selection));
    EXPECT_EQ(windows.size(), 5u);
    // A notice does not count against the five.
    popup->show("감지 켜짐", 1.2);
    EXPECT_TRUE(popup->showsNotice());
    EXPECT_EQ(windows.size(), 6u);

    popup->close(id(3));
    EXPECT_TRUE(windows[3]->closed);
    EXPECT_TRUE(openAt(5, selection));
    // Calls for cards that are not open change nothing.
    popup->close(id(3));
    popup->update(PopupID{"other", 0}, PopupBody::text("x"));
    popup->fill(PopupID{"C1", 9}, PopupBody::text("x"), 3);
    EXPECT_EQ(popup->openCards(), 5u);
}

TEST_F(MeaningPopupTest, FilledCardCountsDownPausesUnderThePointerAndCloses) {
    ASSERT_TRUE(openAt(0, selection));
    popup->fill(id(0), PopupBody::text("번역된 문장"), 3.0);
    EXPECT_EQ(windows[0]->footer, "\u25B6 3.0s");
    wait(0.15);  // the first tick of a run counts nothing; later waits end between ticks
    EXPECT_EQ(windows[0]->footer, "\u25B6 3.0s");
    wait(1.0);
    EXPECT_EQ(windows[0]->footer, "\u25B6 2.0s");

    // The pointer over the card holds it.
    const PopupRect f = windows[0]->frame;
    screens->pointer = {f.x + 10, f.maxY() - 10};
    wait(5.0);
    EXPECT_TRUE(windows[0]->visible);
    EXPECT_EQ(windows[0]->footer, "\u23F8 2.0s");
    EXPECT_EQ(popup->openCards(), 1u);

    // So does a drag in progress.
    screens->pointer = {10, 10};
    windows[0]->dragging = true;
    wait(2.0);
    EXPECT_EQ(windows[0]->footer, "\u23F8 2.0s");
    windows[0]->dragging = false;

    wait(1.5);
    EXPECT_EQ(windows[0]->footer, "\u25B6 0.5s");
    wait(0.6);
    EXPECT_TRUE(windows[0]->closed);
    EXPECT_EQ(popup->openCards(), 0u);
    EXPECT_FALSE(popup->ticking());
}

TEST_F(MeaningPopupTest, UnfilledCardClosesAfterItsLoadingLimitEvenWhenHeld) {
    ASSERT_TRUE(popup->open(id(0), PopupBody::loading("run", "조회 중…"), std::nullopt, {},
                            PopupAnchor::mouse(), 1.0));
    const PopupRect f = windows[0]->frame;
    screens->pointer = {f.x + 5, f.maxY() - 5};
    windows[0]->dragging = true;
    wait(0.15);  // counts nothing
    wait(0.9);
    EXPECT_FALSE(windows[0]->closed);
    EXPECT_EQ(windows[0]->footer, "");
    wait(0.2);
    EXPECT_TRUE(windows[0]->closed);

    // Updates keep a card loading; only a fill starts its countdown.
    ASSERT_TRUE(openAt(1, selection));
    popup->update(id(1), PopupBody::loading("run", "사전에 없어 뜻을 만드는 중…"));
    EXPECT_EQ(windows[1]->text(), "run|· 단어|사전에 없어 뜻을 만드는 중…|");
    wait(12.0);
    EXPECT_TRUE(windows[1]->closed);
}

TEST_F(MeaningPopupTest, NoticesReplaceEachOtherAndSpeakLinux) {
    popup->show("로그인됐어요 · ⌥ 두 번으로 감지를 켜세요", 2.5);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]->text(), "로그인됐어요 · Alt 두 번으로 감지를 켜세요|");
    EXPECT_EQ(windows[0]->footer, "\u25B6 2.5s");
    // At the pointer: 16 points right of and below it.
    EXPECT_EQ(windows[0]->frame.x, 716);
    EXPECT_EQ(windows[0]->frame.maxY(), 434);

    popup->show("감지 꺼짐", 1.2);
    EXPECT_TRUE(windows[0]->closed);
    EXPECT_FALSE(windows[1]->closed);
    wait(1.45);
    EXPECT_TRUE(windows[1]->closed);
    EXPECT_FALSE(popup->showsNotice());
}

TEST_F(MeaningPopupTest, DraggedCardStaysWhereItWasDropped) {
    ASSERT_TRUE(openAt(0, selection));
    windows[0]->drag(300, -40);
    const PopupRect dropped = windows[0]->frame;
    ASSERT_TRUE(openAt(1, selection));
    // The new card takes the place the dragged one left.
    EXPECT_EQ(windows[1]->frame, (PopupRect{200, 492, 320, 102}));
    // New content: the top-left corner stays, the height follows the content.
    popup->fill(id(0), PopupBody::text("짧은 글"), 3);
    EXPECT_EQ(windows[0]->frame.x, dropped.x);
    EXPECT_EQ(windows[0]->frame.maxY(), dropped.maxY());
    EXPECT_EQ(windows[0]->frame.height, 82);  // setting line and text
}

TEST_F(MeaningPopupTest, ClosingTheMiddleCardLeavesAGapANewCardMayFill) {
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_TRUE(openAt(slot, selection));
    }
    const PopupRect third = windows[2]->frame;
    windows[1]->handlers.closeClicked();
    EXPECT_TRUE(windows[1]->closed);
    EXPECT_EQ(popup->openCards(), 2u);
    popup->update(id(0), PopupBody::loading("run", "조회 중…"));
    EXPECT_EQ(windows[2]->frame, third);
    ASSERT_TRUE(openAt(3, selection));
    EXPECT_EQ(windows[3]->frame, (PopupRect{200, 380, 320, 102}));
    EXPECT_EQ(windows[2]->frame, third);
}

TEST_F(MeaningPopupTest, TimerRunsOnlyWhileCardsAreOpen) {
    ASSERT_TRUE(openAt(0, selection));
    popup->fill(id(0), PopupBody::text("a"), 1.0);
    EXPECT_TRUE(popup->ticking());
    wait(1.25);
    EXPECT_FALSE(popup->ticking());
    EXPECT_EQ(clock->pendingTimers(), 0u);

    // A card opened long after starts a new run whose first tick subtracts nothing.
    wait(30);
    ASSERT_TRUE(openAt(1, selection));
    popup->fill(id(1), PopupBody::text("b"), 1.0);
    wait(0.15);
    EXPECT_EQ(windows[1]->footer, "\u25B6 1.0s");
}

TEST_F(MeaningPopupTest, CardGoesToTheScreenOfTheSelection) {
    screens->list.push_back({{1440, 0, 1280, 1024}, {1440, 0, 1280, 1000}});
    screens->pointer = {100, 100};  // on the primary screen
    ASSERT_TRUE(openAt(0, PopupRect{2000, 700, 60, 16}));
    EXPECT_EQ(windows[0]->frame.x, 2000);
    EXPECT_EQ(windows[0]->frame.maxY(), 694);

    // A selection outside every screen falls back to the primary one.
    ASSERT_TRUE(openAt(1, PopupRect{5000, 700, 60, 16}));
    EXPECT_EQ(windows[1]->frame.maxX(), 1432);

    // No screen at all: a 1440 × 900 frame.
    screens->list.clear();
    popup->show("알림", 1);
    EXPECT_EQ(windows[2]->frame.x, 116);
    EXPECT_EQ(windows[2]->frame.maxY(), 84);
}

TEST_F(MeaningPopupTest, CardHeightFollowsContentWithinTheScreen) {
    nextContentHeight = 1;
    ASSERT_TRUE(openAt(0, selection));
    EXPECT_EQ(windows[0]->frame.height, 44);  // never less than 44
    nextContentHeight = 2000;
    ASSERT_TRUE(openAt(1, selection));
    EXPECT_EQ(windows[1]->scrollHeight, 418);  // 460 − 42: the rest scrolls
    EXPECT_EQ(windows[1]->frame.height, 460);

    screens->list = {{{0, 0, 800, 78}, {0, 0, 800, 78}}};
    ASSERT_TRUE(openAt(2, PopupRect{10, 40, 10, 10}));
    EXPECT_EQ(windows[2]->scrollHeight, 20);

    PopupOptions wide;
    wide.width = PopupOptions::Width::wide;
    wide.opacity = 0.4;
    ASSERT_TRUE(openAt(3, selection, wide));
    EXPECT_EQ(windows[3]->look.cardWidth, 440);
    EXPECT_EQ(windows[3]->look.contentWidth, 392);
    EXPECT_EQ(windows[3]->look.opacity, 0.4);
}

TEST_F(MeaningPopupTest, ReportsAfterThePresenterIsGoneDoNothing) {
    ASSERT_TRUE(openAt(0, selection));
    auto state = windows[0];
    popup.reset();
    EXPECT_TRUE(state->closed);
    state->handlers.closeClicked();
    state->handlers.dragEnded();
    clock->advance(1);  // a pending tick finds no presenter
}

}  // namespace
}  // namespace parlendo
