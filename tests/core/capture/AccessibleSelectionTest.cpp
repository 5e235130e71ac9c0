#include "capture/AccessibleSelection.h"

#include "FakeAccessibility.h"
#include "FakeClock.h"
#include "LogCapture.h"
#include "capture/AccessibilityBoost.h"
#include "capture/CaptureKeys.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeAccessibilityPort;
using testing::FakeClock;
using testing::FakeNode;
using testing::LogCapture;
using Role = AccessibleNode::Role;

struct AccessibleSelectionTest : ::testing::Test {
    AccessibleSelectionTest() { port->focused = node(Role::entry); }

    std::shared_ptr<FakeNode> node(Role role) {
        auto n = std::make_shared<FakeNode>(role);
        n->clock = clock;
        return n;
    }
    AccessibleSelection reader(RunningApplication a) {
        return AccessibleSelection(port, std::move(a), clock, boosts);
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeAccessibilityPort> port = std::make_shared<FakeAccessibilityPort>();
    AccessibilityBoosts boosts;
    RunningApplication app{42, std::string("org.gnome.TextEditor")};
    RunningApplication chrome{43, std::string("google-chrome")};
    LogCapture log;
};

TEST(AccessibilityBoostTest, ChooseTheSwitchByApplication) {
    EXPECT_EQ(AccessibilityBoost::attribute("com.google.Chrome.beta", false),
              std::string(AccessibilityBoost::chromiumAttribute));
    EXPECT_EQ(AccessibilityBoost::attribute("chromium", false),
              std::string(AccessibilityBoost::chromiumAttribute));
    EXPECT_EQ(AccessibilityBoost::attribute("org.example.Notes", true),
              std::string(AccessibilityBoost::electronAttribute));
    EXPECT_EQ(AccessibilityBoost::attribute("chromiumx", false), std::nullopt);
    EXPECT_EQ(AccessibilityBoost::attribute(std::nullopt, false), std::nullopt);
    AccessibilityBoost::setEnabled(false);
    EXPECT_EQ(AccessibilityBoost::attribute("google-chrome", false), std::nullopt);
    AccessibilityBoost::setEnabled(true);
}

TEST_F(AccessibleSelectionTest, ReadsTheFocusedSelectionThenTheLastChangedOne) {
    port->focused->content = "Hello world";
    port->focused->selected = TextRange{6, 11};
    EXPECT_EQ(reader(app).readDirect(), (DirectSelection{"world", "selected_text"}));
    // No call waits longer than the whole read may take.
    EXPECT_EQ(port->timeouts.front(), CaptureKeys::directReadBudget);

    // A document that has the focus while the selection sits in one of its paragraphs.
    port->focused->selected = TextRange{3, 3};
    port->changed = node(Role::staticText);
    port->changed->content = "The cat sat.";
    port->changed->selected = TextRange{4, 7};
    EXPECT_EQ(reader(app).readDirect(), (DirectSelection{"cat", "selection_changed"}));
}

TEST_F(AccessibleSelectionTest, EmbeddedParagraphsAndLinksAreFollowedToTheirText) {
    // A web page's document selects its paragraphs as objects; each holds its own selection.
    const std::string object = "\uFFFC";
    auto doc = port->focused = node(Role::webArea);
    doc->content = object + object + object;
    doc->selected = TextRange{0, 3};
    auto heading = doc->embedded[0] = node(Role::staticText);
    heading->content = "Fables";
    heading->selected = TextRange{0, 6};
    auto para = doc->embedded[1] = node(Role::staticText);
    // "A " + link + " of luck." with the link wholly inside the selection (no selection of its
    // own) and the paragraph selected from its second word.
    para->content = "A " + object + " of luck.";
    para->selected = TextRange{2, 12};
    auto link = para->embedded[2] = node(Role::other);
    link->inlined = true;
    link->fieldValue = "moment";
    doc->embedded[2] = node(Role::other);  // an image: no text at all, left out
    EXPECT_EQ(reader(app).readDirect(),
              (DirectSelection{"Fables\nmoment of luck.", "selected_text"}));

    // Only the object character and no way to its element: nothing usable, the read falls
    // through to the next way.
    doc->embedded.clear();
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);
}

TEST_F(AccessibleSelectionTest, APageOfTooManyObjectsIsLeftToTheNextWay) {
    auto doc = port->focused = node(Role::webArea);
    for (int i = 0; i < 500; ++i) {
        doc->content += "\uFFFC";
        auto para = doc->embedded[i] = node(Role::staticText);
        para->fieldValue = "Line.";
    }
    doc->selected = TextRange{0, 500};
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);
    EXPECT_TRUE(log.has("capture", "직접 읽기 그만둠 — 선택 안에 든 요소가 너무 많음"));
}

TEST_F(AccessibleSelectionTest, APageThatStopsAnsweringMidReadIsLeftWithinTheBudget) {
    // The first ten paragraphs answer; from the eleventh on, every call waits for its time-out.
    auto doc = port->focused = node(Role::webArea);
    for (int i = 0; i < 60; ++i) {
        doc->content += "\uFFFC";
        auto para = doc->embedded[i] = node(Role::staticText);
        para->content = "Line.";
        para->selected = TextRange{0, 5};
        para->callCost = i < 10 ? 0.001 : CaptureKeys::directReadTimeout;
    }
    doc->selected = TextRange{0, 60};
    const double start = clock->uptime();
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);
    EXPECT_LT(clock->uptime() - start, CaptureKeys::directReadBudget + 0.5);
    EXPECT_NE(log.startingWith("capture", "직접 읽기 그만둠 — 읽기 상한 0.40초를 넘김 ms="), "");
    // The calls late in the read wait no longer than what is left of the budget.
    EXPECT_LT(port->timeouts.back(), CaptureKeys::directReadBudget);
}

TEST_F(AccessibleSelectionTest, TheSearchForTheFocusIsPartOfTheReadsBudget) {
    // An application that answers the search for its focused element slowly: its calls use up
    // the budget, each waiting no longer than what is left, and nothing more is asked of it.
    port->clock = clock;
    port->searchCalls = 5;
    port->searchCallCost = 0.15;
    port->focused->content = "Hello world";
    port->focused->selected = TextRange{6, 11};
    const double start = clock->uptime();
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);
    EXPECT_NEAR(clock->uptime() - start, 0.45, 1e-9);
    ASSERT_EQ(port->strictTimeouts.size(), 3u);
    EXPECT_NEAR(port->strictTimeouts[0], 0.4, 1e-9);
    EXPECT_NEAR(port->strictTimeouts[1], 0.25, 1e-9);
    EXPECT_NEAR(port->strictTimeouts[2], 0.1, 1e-9);
    EXPECT_EQ(*port->focused->calls, 0);
    EXPECT_NE(log.startingWith("capture", "직접 읽기 그만둠 — 읽기 상한 0.40초를 넘김 ms=450"), "");
    // Out of time, nothing was learnt of the application: its one boost is kept.
    EXPECT_EQ(reader(chrome).readDirect(), std::nullopt);
    EXPECT_TRUE(port->sets.empty());
}

TEST_F(AccessibleSelectionTest, BoostsAChromiumBrowserOnceAndOnlyAnnouncedApplications) {
    port->focused = nullptr;
    EXPECT_EQ(reader(chrome).readDirect(), std::nullopt);
    EXPECT_EQ(reader(chrome).readDirect(), std::nullopt);
    ASSERT_EQ(port->sets.size(), 1u);
    EXPECT_EQ(port->sets[0], std::make_pair(std::string("ScreenReaderEnabled"), true));
    EXPECT_TRUE(log.has("capture",
                        "접근성 켬 app=google-chrome attr=ScreenReaderEnabled ok=true "
                        "why=no_focused_element — 다음 캡처부터 직접 읽기를 시도한다"));

    // An application without a switch: nothing is set and nothing logged.
    port->focused = node(Role::entry);
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);
    EXPECT_EQ(port->sets.size(), 1u);
    EXPECT_EQ(log.count("capture", "접근성 켬"), 1u);
}

TEST_F(AccessibleSelectionTest, RestoreTurnsBackOnlyWhatTheProcessTurnedOn) {
    port->switches["IsEnabled"] = true;  // the user's own setting
    port->focused = nullptr;
    port->electron = true;
    EXPECT_EQ(reader(app).readDirect(), std::nullopt);  // IsEnabled was on: left alone
    EXPECT_EQ(reader(chrome).readDirect(), std::nullopt);
    // Already on through the first browser: not turned on a second time.
    EXPECT_EQ(reader(RunningApplication{44, std::string("chromium")}).readDirect(), std::nullopt);

    EXPECT_EQ(AccessibleSelection::restoreAccessibility(*port, boosts), 1);
    EXPECT_TRUE(port->switches["IsEnabled"]);
    EXPECT_FALSE(port->switches["ScreenReaderEnabled"]);
    EXPECT_TRUE(log.has("capture", "접근성 되돌림 apps=1 restored=1"));
    EXPECT_EQ(AccessibleSelection::restoreAccessibility(*port, boosts), 0);
}

TEST_F(AccessibleSelectionTest, BoundsOfTheFocusedRangeInCardCoordinates) {
    port->focused->selected = TextRange{0, 4};
    port->focused->bounds = DesktopRect{100, 200, 50, 20};
    const auto bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "range");
    EXPECT_EQ(bounds->rect, (PopupRect{100, 860, 50, 20}));
    EXPECT_EQ(port->timeouts.back(), 0.12);
}

TEST_F(AccessibleSelectionTest, BoundsOfAPageSelectionAreMeasuredWhereItsCharactersAre) {
    // A word selected in a web page: the document holds its paragraphs as objects, and what it
    // measures for one of them is the paragraph and the next; the paragraph measures the word.
    const std::string object = "\uFFFC";
    auto doc = port->focused = node(Role::webArea);
    doc->content = object + object + object;
    doc->selected = TextRange{1, 2};
    doc->bounds = DesktopRect{328, 228, 370, 54};
    auto first = doc->embedded[1] = node(Role::staticText);
    first->content = "A moment of serendipity changed the day.";
    first->selected = TextRange{12, 23};
    first->bounds = DesktopRect{437, 228, 91, 19};
    auto bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "range");
    EXPECT_EQ(bounds->rect, (PopupRect{437, 833, 91, 19}));

    // From the word to the end of the next paragraph, through a link wholly inside the
    // selection (no selection of its own: its frame counts) and past white space between the
    // blocks, which is not measured.
    doc->content = object + object + " " + object;
    doc->selected = TextRange{1, 4};
    doc->bounds = DesktopRect{0, 600, 1200, 40};
    first->selected = TextRange{12, 40};
    first->bounds = DesktopRect{437, 228, 261, 19};
    auto second = doc->embedded[3] = node(Role::staticText);
    second->content = "The " + object + " fox.";
    second->selected = TextRange{0, 10};
    second->bounds = DesktopRect{328, 263, 120, 19};
    auto link = second->embedded[4] = node(Role::other);
    link->ownFrame = DesktopRect{360, 263, 100, 21};
    bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->rect, (PopupRect{328, 796, 370, 56}));
}

TEST_F(AccessibleSelectionTest, BoundsStartWhereTheSelectionStartsInAPageJustLaidOut) {
    // A word double-clicked in a Firefox just started, which lays its text out for the
    // accessibility bus only once asked: the paragraph answers nothing to the first ask for a
    // place, then only the range's last character, then the whole range. Its characters are 8
    // pixels wide; the word is characters 12 to 23, at x 424 to 512.
    const std::string object = "\uFFFC";
    auto doc = port->focused = node(Role::webArea);
    doc->content = object + object;
    doc->selected = TextRange{0, 1};
    auto para = doc->embedded[0] = doc->add(Role::staticText);
    para->content = "A moment of serendipity changed the day.";
    para->selected = TextRange{12, 23};
    para->ownFrame = DesktopRect{328, 228, 1264, 19};
    int asks = 0;
    int empty = 1;
    para->placeOf = [&](const TextRange& r) -> std::optional<DesktopRect> {
        ++asks;
        if (asks <= empty) {
            return std::nullopt;
        }
        const std::int64_t from = asks == empty + 1 ? r.end - 1 : r.start;
        return DesktopRect{328.0 + 8.0 * static_cast<double>(from), 228,
                           8.0 * static_cast<double>(r.end - from), 19};
    };
    const PopupRect word{424, 833, 88, 19};
    auto bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "range");
    EXPECT_EQ(bounds->rect, word);

    // The document cannot lead to its paragraph: the selected lines are measured from their
    // first character too.
    doc->embedded.clear();
    asks = 0;
    bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "lines");
    EXPECT_EQ(bounds->rect, word);

    // A paragraph that never tells where its characters are, 2 ms a call: asked again for a
    // third of the budget, which leaves the lines their time to fall back on its frame.
    doc->embedded[0] = para;
    para->callCost = 0.002;
    asks = 0;
    empty = 1000;
    const double start = clock->uptime();
    bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "lines");
    EXPECT_EQ(bounds->rect, (PopupRect{328, 833, 1264, 19}));
    EXPECT_LE(clock->uptime() - start, ContextReadTimes::selectionBounds);
    EXPECT_GT(asks, 10);
}

TEST_F(AccessibleSelectionTest, BoundsOfSelectedLinesAreTheirUnion) {
    // The focused range lies off every screen, so the lines below it are searched.
    port->focused->selected = TextRange{0, 4};
    port->focused->bounds = DesktopRect{5000, 5000, 10, 10};
    auto para = port->focused->add(Role::other);
    auto line1 = para->add(Role::staticText);
    line1->selected = TextRange{2, 9};
    line1->bounds = DesktopRect{100, 100, 300, 20};
    auto line2 = para->add(Role::staticText);
    line2->selected = TextRange{0, 5};
    line2->bounds = std::nullopt;  // no range bounds: the element's frame counts
    line2->ownFrame = DesktopRect{100, 120, 80, 20};
    // A line whose selected word sits in an inline element: measured there, not on the line.
    auto line3 = para->add(Role::staticText);
    line3->content = "A \uFFFC day.";
    line3->selected = TextRange{2, 3};
    line3->bounds = DesktopRect{100, 140, 600, 40};
    auto word = line3->embedded[2] = std::make_shared<FakeNode>(Role::staticText);
    word->selected = TextRange{0, 4};
    word->bounds = DesktopRect{120, 140, 40, 20};
    auto empty = para->add(Role::staticText);
    empty->selected = TextRange{4, 4};  // no characters: contributes nothing
    empty->bounds = DesktopRect{0, 900, 10, 10};

    const auto bounds = reader(app).selectionBounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->method, "lines");
    EXPECT_EQ(bounds->rect, (PopupRect{100, 920, 300, 60}));
}

TEST_F(AccessibleSelectionTest, BoundsRefuseTallRectanglesAndStopAtTheirLimits) {
    port->focused->selected = TextRange{0, 4};
    port->focused->bounds = DesktopRect{0, 0, 100, 900};  // taller than 80 % of the screen
    EXPECT_EQ(reader(app).selectionBounds(), std::nullopt);

    // A flat tree of 1000 text leaves below a range off every screen: at most 599 are visited.
    port->focused->bounds = DesktopRect{5000, 5000, 10, 10};
    for (int i = 0; i < 1000; ++i) {
        port->focused->add(Role::staticText);
    }
    *port->focused->calls = 0;
    EXPECT_EQ(reader(app).selectionBounds(), std::nullopt);
    EXPECT_LE(*port->focused->calls, 5 + 2 * 599);

    // An application that takes 50 ms per call: the search ends after 0.12 seconds.
    port->focused = node(Role::document);
    port->focused->callCost = 0.05;
    for (int i = 0; i < 100; ++i) {
        port->focused->add(Role::staticText);
    }
    const double start = clock->uptime();
    EXPECT_EQ(reader(app).selectionBounds(), std::nullopt);
    EXPECT_LT(clock->uptime() - start, 0.3);

    port->focused = nullptr;
    EXPECT_EQ(reader(app).selectionBounds(), std::nullopt);
}

}  // namespace
}  // namespace parlendo
