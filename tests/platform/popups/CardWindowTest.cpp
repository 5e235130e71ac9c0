#include "DesktopSession.h"
#include "LabelLines.h"
#include "Screenshot.h"
#include "foundation/Clock.h"
// Last: it brings Xlib's macros.
#include "CardDesktop.h"

#include <algorithm>
#include <optional>

namespace parlendo::testing {
namespace {

bool has(const std::vector<std::string>& all, const std::string& text) {
    return std::find(all.begin(), all.end(), text) != all.end();
}

const PopupBody runWord =
    PopupBody::word("run", "← running",
                    {{"phonetic", "발음", "rʌn"},
                     {"korean", "한글 뜻", "달리다 [verb]\n운영하다 [verb]"},
                     {"definition", "정의", "[verb] move at a speed faster than a walk"}});

using Cards = CardDesktop;

TEST_F(Cards, WordCardOpensUnderTheSelectionShowsItsTextsAndIsPhotographed) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, PopupBody::loading("running", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(popup->open(PopupID{"C1", 1}, PopupBody::loading("running", "조회 중…"), "· 뜻만",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)) && mapped(card(1)); }));
    settle();

    // Under the selection, 6 points below its bottom edge; the second card 10 below the first.
    GdkRectangle first = placeOf(card(0));
    GdkRectangle second = placeOf(card(1));
    EXPECT_EQ(first.x, 300);
    EXPECT_EQ(first.y, 224);
    EXPECT_EQ(first.width, 320);
    EXPECT_EQ(second.x, 300);
    EXPECT_EQ(second.y, first.y + first.height + 10);
    EXPECT_TRUE(has(texts(card(0)), "조회 중…"));
    EXPECT_TRUE(has(texts(card(0)), "· 단어"));

    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    settle();
    const auto shown = texts(card(0));
    EXPECT_TRUE(has(shown, "run  ← running  /rʌn/"));
    EXPECT_TRUE(has(shown, "1. 달리다 [verb]"));
    EXPECT_TRUE(has(shown, "2. 운영하다 [verb]"));
    EXPECT_TRUE(has(shown, "[verb] move at a speed faster than a walk"));
    EXPECT_TRUE(has(shown, "\u25B6 3.0s"));
    EXPECT_EQ(missingGlyphs(card(0)), 0);
    // The first card grew to its content and 42 points more; the second moved down to stay
    // clear of it.
    first = placeOf(card(0));
    GtkWidget* content =
        gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(scrollArea(card(0))))));
    EXPECT_EQ(first.height, gtk_widget_get_allocated_height(content) + 42);
    EXPECT_EQ(first.y, 224);
    EXPECT_GE(placeOf(card(1)).y, first.y + first.height + 10);

    EXPECT_GT(saveScreenshot(placeOf(card(0)), outputPath("word-card.png")), 200);
}

// The answer's texts are measured once, as they will be drawn: the frame after the answer only
// draws, and its first drawing already has the card's new size.
TEST_F(Cards, FilledCardIsMeasuredOnceAndFirstDrawnAtItsNewSize) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, PopupBody::loading("running", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();
    const int loadingHeight = placeOf(card(0)).height;

    struct Seen {
        int restyled = 0;            // content labels given a new style after the fill
        std::optional<int> drawnAt;  // the window's height at its first drawing after the fill
    } seen;
    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    GtkWidget* content = GTK_WIDGET(scrollArea(card(0)));
    walk(content, [&](GtkWidget* w) {
        if (GTK_IS_LABEL(w)) {
            g_signal_connect(w, "style-updated", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                                 ++static_cast<Seen*>(data)->restyled;
                             }),
                             &seen);
        }
    });
    g_signal_connect(card(0), "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t*, gpointer data) {
                         auto* s = static_cast<Seen*>(data);
                         if (!s->drawnAt) {
                             s->drawnAt = gtk_widget_get_allocated_height(w);
                         }
                         return FALSE;
                     }),
                     &seen);
    const bool drawn = runUntil([&] { return seen.drawnAt.has_value(); });
    settle();
    walk(content, [&](GtkWidget* w) { g_signal_handlers_disconnect_by_data(w, &seen); });
    g_signal_handlers_disconnect_by_data(card(0), &seen);

    ASSERT_TRUE(drawn);
    EXPECT_EQ(seen.restyled, 0);
    EXPECT_GT(placeOf(card(0)).height, loadingHeight);
    EXPECT_EQ(*seen.drawnAt, placeOf(card(0)).height);
}

TEST_F(Cards, SentenceCardWithKoreanTranslationIsPhotographed) {
    PopupOptions wide;
    wide.width = PopupOptions::Width::wide;
    ASSERT_TRUE(popup->open(PopupID{"S1", 0},
                            PopupBody::loading("The quick brown fox…", "번역 중…"), "· 문장", wide,
                            selection(200, 900, 600, 40), 9.3));
    const std::string sentence =
        "재빠른 갈색 여우가 게으른 개를 뛰어넘는다. 한국어 글자가 제대로 보이는지 확인하는 "
        "문장이에요. 줄이 바뀌는 곳을 잘 보고 알려 주세요.";
    popup->fill(PopupID{"S1", 0}, PopupBody::text(sentence), 4.0);
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();
    // Too little room below the selection: the card stands to its right, top-aligned with it.
    const GdkRectangle place = placeOf(card(0));
    EXPECT_EQ(place.x, 806);
    EXPECT_EQ(place.y, 900);
    EXPECT_EQ(place.width, 440);
    EXPECT_EQ(missingGlyphs(card(0)), 0);
    EXPECT_GT(saveScreenshot(place, outputPath("sentence-card.png")), 200);
    // The Korean lines break between words, never inside one.
    GtkLabel* text = labelWith(card(0), sentence);
    ASSERT_NE(text, nullptr);
    EXPECT_GE(LabelLines::lineCount(GTK_WIDGET(text)), 2);
    EXPECT_EQ(LabelLines::breaksInsideWords(GTK_WIDGET(text)), std::vector<std::string>{});
}

TEST_F(Cards, CardFloatsAboveOnEveryDesktopAndNeverTakesFocus) {
    // A window of another application holds the keyboard focus.
    GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(other), gtk_entry_new());
    gtk_window_move(GTK_WINDOW(other), 900, 500);
    gtk_widget_show_all(other);
    ASSERT_TRUE(runUntil([&] { return mapped(other); }));
    const Window otherXid = GDK_WINDOW_XID(gtk_widget_get_window(other));
    ASSERT_TRUE(DesktopSession::activate(otherXid));
    settle();

    PopupOptions faint;
    faint.opacity = 0.4;
    ASSERT_TRUE(
        popup->open(PopupID{"C1", 0}, runWord, "· 단어", faint, selection(100, 100, 50, 16), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();

    XWMHints* hints = XGetWMHints(display, GDK_WINDOW_XID(gtk_widget_get_window(card(0))));
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE(hints->flags & InputHint);
    EXPECT_FALSE(hints->input);
    XFree(hints);
    // Above the others and out of the task bar; on every workspace (the window manager keeps it on
    // all of them).
    const auto state = property(card(0), "_NET_WM_STATE");
    for (const char* name :
         {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        EXPECT_NE(std::find(state.begin(), state.end(), atom(name)), state.end()) << name;
    }
    EXPECT_EQ(property(card(0), "_NET_WM_DESKTOP"), std::vector<unsigned long>{0xFFFFFFFFul});
    EXPECT_EQ(property(card(0), "_NET_WM_WINDOW_TYPE"),
              std::vector<unsigned long>{atom("_NET_WM_WINDOW_TYPE_NOTIFICATION")});
    // Drawn at the card's opacity, text included: the whole window is 40 % opaque.
    const auto opacity = property(card(0), "_NET_WM_WINDOW_OPACITY");
    ASSERT_EQ(opacity.size(), 1u);
    EXPECT_NEAR(static_cast<double>(opacity[0]) / 0xFFFFFFFFul, 0.4, 0.001);

    // Clicking the card leaves the focus where it was.
    const GdkRectangle place = placeOf(card(0));
    click(place.x + 60, place.y + 30);
    settle();
    EXPECT_EQ(DesktopSession::focusedWindow(), otherXid);
    EXPECT_TRUE(mapped(card(0)));
    gtk_widget_destroy(other);
}

TEST_F(Cards, CountdownPausesUnderThePointerAndTheCardCloses) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, PopupBody::loading("run", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    runFor(150);  // the first tick counts nothing
    advance(1.0);
    EXPECT_TRUE(has(texts(card(0)), "\u25B6 2.0s"));

    const GdkRectangle place = placeOf(card(0));
    movePointer(place.x + 100, place.y + 20);
    advance(5.0);
    EXPECT_TRUE(has(texts(card(0)), "\u23F8 2.0s"));
    EXPECT_TRUE(mapped(card(0)));

    movePointer(5, 5);
    advance(1.5);
    EXPECT_TRUE(has(texts(card(0)), "\u25B6 0.5s"));
    advance(0.6);
    EXPECT_TRUE(runUntil([&] { return card(0) == nullptr; }));
    EXPECT_FALSE(popup->ticking());
}

// The countdown changes ten times a second: each change redraws its band and nothing else. The
// card's size is never asked for again, which on X costs round trips to a server that another
// client may keep busy.
TEST_F(Cards, TheCountdownRedrawsOnlyItsBand) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, PopupBody::loading("run", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    runFor(150);  // the first tick counts nothing
    for (int i = 0; i < 10; ++i) {
        advance(0.1);  // the card's own settling after the fill is over by then
    }
    settle();

    int resizes = 0;
    g_signal_connect(card(0), "check-resize",
                     G_CALLBACK(+[](GtkContainer*, gpointer n) { ++*static_cast<int*>(n); }),
                     &resizes);
    for (int i = 0; i < 10; ++i) {
        advance(0.1);
    }
    settle();
    g_signal_handlers_disconnect_by_data(card(0), &resizes);

    EXPECT_EQ(resizes, 0);
    EXPECT_TRUE(has(texts(card(0)), "\u25B6 1.0s"));
    const GdkRectangle place = placeOf(card(0));
    const GdkRectangle band{place.x + place.width - 60, place.y + place.height - 22, 50, 18};
    EXPECT_GT(saveScreenshot(band, outputPath("countdown-band.png")), 20);
}

TEST_F(Cards, CardClosesByItsButtonReleasedOnItOrByTheWindowManager) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, runWord, "· 단어", PopupOptions::standard(),
                            selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();
    const GdkRectangle place = placeOf(card(0));
    const int closeX = place.x + place.width - 16;
    const int closeY = place.y + 16;

    // Pressed on the button, released off it: nothing happens, and the card does not move.
    movePointer(closeX, closeY);
    button(1, true);
    movePointer(closeX - 60, closeY + 40);
    button(1, false);
    settle();
    ASSERT_TRUE(mapped(card(0)));
    EXPECT_EQ(placeOf(card(0)).x, place.x);

    click(closeX, closeY);
    EXPECT_TRUE(runUntil([&] { return card(0) == nullptr; }));
    EXPECT_EQ(popup->openCards(), 0u);

    // A window manager's close request closes the card like its button.
    ASSERT_TRUE(popup->open(PopupID{"C2", 0}, runWord, "· 단어", PopupOptions::standard(),
                            selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(1)); }));
    GdkEvent* request = gdk_event_new(GDK_DELETE);
    request->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(card(1))));
    gtk_main_do_event(request);
    gdk_event_free(request);
    EXPECT_TRUE(runUntil([&] { return card(1) == nullptr; }));
    EXPECT_EQ(popup->openCards(), 0u);

    // A window destroyed by someone else leaves a card that can still be filled and closed.
    ASSERT_TRUE(popup->open(PopupID{"C3", 0}, runWord, "· 단어", PopupOptions::standard(),
                            selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(2)); }));
    gtk_widget_destroy(card(2));
    popup->fill(PopupID{"C3", 0}, runWord, 3.0);
    popup->close(PopupID{"C3", 0});
    EXPECT_EQ(popup->openCards(), 0u);
}

TEST_F(Cards, DraggedCardStaysWhereItWasDropped) {
    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, PopupBody::loading("run", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();
    const GdkRectangle before = placeOf(card(0));

    movePointer(before.x + 100, before.y + 30);
    button(1, true);
    for (int step = 1; step <= 4; ++step) {
        movePointer(before.x + 100 + 10 * step, before.y + 30 + 15 * step);
    }
    button(1, false);
    settle();
    const GdkRectangle dropped = placeOf(card(0));
    EXPECT_EQ(dropped.x, before.x + 40);
    EXPECT_EQ(dropped.y, before.y + 60);

    // New content and a new card: the dragged card keeps its top-left corner, and the new card
    // takes the place it left.
    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    ASSERT_TRUE(popup->open(PopupID{"C1", 1}, PopupBody::loading("run", "조회 중…"), "· 단어",
                            PopupOptions::standard(), selection(300, 200, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(1)); }));
    settle();
    EXPECT_EQ(placeOf(card(0)).x, dropped.x);
    EXPECT_EQ(placeOf(card(0)).y, dropped.y);
    EXPECT_GT(placeOf(card(0)).height, dropped.height);
    EXPECT_EQ(placeOf(card(1)).x, before.x);
    EXPECT_EQ(placeOf(card(1)).y, before.y);
}

TEST_F(Cards, LongContentScrollsWithTheWheelAnywhereOverTheCard) {
    std::string lines;
    for (int i = 0; i < 80; ++i) {
        lines += "한 줄의 긴 번역 " + std::to_string(i) + "\n";
    }
    const std::string longName =
        "· 아주 길고 긴 이름을 가진 팝업 설정이라 카드 폭에 다 들어가지 않아요";
    ASSERT_TRUE(popup->open(PopupID{"S1", 0}, PopupBody::text(lines), longName,
                            PopupOptions::standard(), selection(300, 100, 80, 18), 9.3));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)); }));
    settle();
    // A setting name wider than the card is cut at its end on one line.
    GtkLabel* name = labelWith(card(0), longName);
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(pango_layout_is_ellipsized(gtk_label_get_layout(name)));
    EXPECT_EQ(pango_layout_get_line_count(gtk_label_get_layout(name)), 1);
    const GdkRectangle place = placeOf(card(0));
    EXPECT_EQ(place.height, 460);  // the greatest card height; the rest scrolls
    GtkAdjustment* adj = gtk_scrolled_window_get_vadjustment(scrollArea(card(0)));
    EXPECT_EQ(gtk_adjustment_get_value(adj), 0);

    movePointer(place.x + place.width - 10, place.y + place.height - 5);  // over the footer band
    button(5, true);
    button(5, false);
    settle();
    EXPECT_GT(gtk_adjustment_get_value(adj), 0);
}

TEST_F(Cards, RealTimeCountdownClosesANotice) {
    // The same presenter on the real monotonic clock.
    popup = MeaningPopup::make(executor, SystemClock::shared(), screens, GtkPopupCard::factory());
    movePointer(400, 400);
    popup->show("감지 켜짐 · ⌥ 두 번으로 끄기", 0.5);
    std::vector<std::string> shown;
    GdkRectangle place{0, 0, 0, 0};
    // Shown, and (once the window manager has placed it) beside the pointer.
    ASSERT_TRUE(runUntil([&] {
        GList* all = gtk_window_list_toplevels();
        for (GList* w = all; w != nullptr; w = w->next) {
            if (g_strcmp0(gtk_widget_get_name(GTK_WIDGET(w->data)), "parlendo-card") == 0 &&
                gtk_widget_get_mapped(GTK_WIDGET(w->data))) {
                shown = texts(GTK_WIDGET(w->data));
                place = placeOf(GTK_WIDGET(w->data));
            }
        }
        g_list_free(all);
        return !shown.empty() && place.x == 416 && place.y == 416;
    }));
    EXPECT_TRUE(has(shown, "감지 켜짐 · Alt 두 번으로 끄기"));
    EXPECT_TRUE(runUntil([&] { return !popup->showsNotice(); }, 5000));
}

}  // namespace
}  // namespace parlendo::testing

namespace parlendo::testing {
namespace {

// The primary monitor does not start at the top-left corner of the X screen: card positions are
// measured from its bottom-left corner, and selections handed over in that space come back to
// the same place on the X screen.
class OffsetMonitorCards : public CardDesktop {
  protected:
    void SetUp() override {
        if (gdk_display_get_default() != nullptr) {
            // GDK reads the monitors once, when it opens the display.
            GTEST_SKIP() << "needs a process of its own (ctest runs each test in one)";
        }
        Display* x = XOpenDisplay(nullptr);
        ASSERT_NE(x, nullptr) << "needs an X display: run under scripts/with-session.sh";
        Window root = DefaultRootWindow(x);
        XRRScreenResources* resources = XRRGetScreenResources(x, root);
        ASSERT_NE(resources, nullptr);
        ASSERT_GE(resources->noutput, 1);
        XRRMonitorInfo* monitor = XRRAllocateMonitor(x, 1);
        monitor->name = XInternAtom(x, "PARLENDO-TEST", False);
        monitor->x = 300;
        monitor->y = 100;
        monitor->width = 1200;
        monitor->height = 800;
        monitor->mwidth = 320;
        monitor->mheight = 210;
        monitor->primary = True;
        monitor->outputs[0] = resources->outputs[0];
        XRRSetMonitor(x, root, monitor);
        XSync(x, False);
        XRRFreeMonitors(monitor);
        XRRFreeScreenResources(resources);
        xrandr = x;
        CardDesktop::SetUp();
    }
    void TearDown() override {
        CardDesktop::TearDown();
        if (xrandr != nullptr) {
            XRRDeleteMonitor(xrandr, DefaultRootWindow(xrandr),
                             XInternAtom(xrandr, "PARLENDO-TEST", False));
            XSync(xrandr, False);
            XCloseDisplay(xrandr);
        }
    }
    Display* xrandr = nullptr;
};

TEST_F(OffsetMonitorCards, CardsStandWhereTheSelectionIsOnTheXScreen) {
    ASSERT_EQ(screens->screens().size(), 1u);
    EXPECT_EQ(screens->screens()[0].frame, (PopupRect{0, 0, 1200, 800}));

    ASSERT_TRUE(popup->open(PopupID{"C1", 0}, runWord, "· 단어", PopupOptions::standard(),
                            selection(600, 300, 80, 18), 11.6));
    // Left of the monitor: the card is kept inside it, 8 points from its left edge.
    ASSERT_TRUE(popup->open(PopupID{"C2", 0}, runWord, "· 단어", PopupOptions::standard(),
                            selection(100, 300, 80, 18), 11.6));
    ASSERT_TRUE(runUntil([&] { return mapped(card(0)) && mapped(card(1)); }));
    settle();
    EXPECT_EQ(placeOf(card(0)).x, 600);
    EXPECT_EQ(placeOf(card(0)).y, 324);
    EXPECT_EQ(placeOf(card(1)).x, 308);

    // The pointer over the card holds it, in the same space.
    popup->fill(PopupID{"C1", 0}, runWord, 3.0);
    runFor(150);
    advance(1.0);
    const GdkRectangle place = placeOf(card(0));
    movePointer(place.x + 100, place.y + 20);
    advance(1.0);
    EXPECT_TRUE(has(texts(card(0)), "\u23F8 2.0s"));
}

}  // namespace
}  // namespace parlendo::testing
