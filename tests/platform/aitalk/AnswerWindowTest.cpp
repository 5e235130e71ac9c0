#include "AnswerWindowRig.h"
#include "aitalk/AITalkText.h"
#include "foundation/PyText.h"

#include <algorithm>

namespace parlendo {
namespace {

using testing::AITalkDesktop;
using testing::Phase;
using AnswerWindowTest = testing::AnswerWindowRig;
using testing::answered;

TEST_F(AnswerWindowTest, BothThemesArePhotographedAndTheControlsFollowThePhase) {
    auto window = make(ThemeMode::dark);
    ASSERT_TRUE(loaded(*window));
    AnswerState notFound;
    notFound.phase = Phase::notFound;
    notFound.notice = AITalkText::notFound;
    window->show(notFound);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return visible(window->parts().window); }));
    EXPECT_TRUE(visible(window->parts().selectionOnly));
    EXPECT_TRUE(visible(window->parts().add));
    EXPECT_FALSE(gtk_widget_get_sensitive(window->parts().add));
    EXPECT_FALSE(visible(window->parts().retry));
    EXPECT_FALSE(visible(window->parts().ring));
    EXPECT_FALSE(gtk_widget_get_sensitive(window->parts().send));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(window->parts().notice)), AITalkText::notFound);

    AnswerState failed;
    failed.phase = Phase::failed;
    failed.notice = AITalkText::noText;
    window->show(failed);
    EXPECT_TRUE(visible(window->parts().retry));
    EXPECT_FALSE(visible(window->parts().selectionOnly));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(window->parts().notice)),
                 "복사된 글자가 없음 — 글을 선택하고 Ctrl을 누른 채 C 를 두 번 누르세요")
        << "platform words";

    window->show(answered("## 다크 테마\n행렬 $A^{-1}A = I$ 와 목록:\n\n1. 첫째\n2. 둘째"));
    ASSERT_TRUE(pageShows(*window, "첫째"));
    EXPECT_FALSE(visible(window->parts().actionRow));
    EXPECT_TRUE(visible(window->parts().ring));
    EXPECT_TRUE(gtk_widget_get_sensitive(window->parts().send));
    EXPECT_EQ(evaluate(*window, "document.documentElement.getAttribute('data-app-theme')"),
              Json("dark"));
    AITalkDesktop::pumpFor(0.4);
    const GdkRectangle frame = window->frame();
    EXPECT_GT(testing::saveScreenshot(frame, AITalkDesktop::outputPath("answer-dark.png")), 500);

    window->applyTheme(ThemeMode::light);
    EXPECT_EQ(evaluate(*window, "document.documentElement.getAttribute('data-app-theme')"),
              Json("light"));
    EXPECT_EQ(evaluate(*window, "getComputedStyle(document.body).backgroundColor"),
              Json("rgb(253, 253, 253)"));
    AITalkDesktop::pumpFor(0.4);
    EXPECT_GT(testing::saveScreenshot(window->frame(),
                                      AITalkDesktop::outputPath("answer-light-list.png")),
              500);
    EXPECT_TRUE(log.has("ai_talk", "답 창 테마 theme=light visible=true"));
}

TEST_F(AnswerWindowTest, TheWindowFloatsAboveEverywhereWithoutTakingTheFocus) {
    GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(other), gtk_entry_new());
    gtk_window_move(GTK_WINDOW(other), 100, 500);
    gtk_widget_show_all(other);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return gtk_widget_get_mapped(other); }));
    const Window otherXid = GDK_WINDOW_XID(gtk_widget_get_window(other));
    ASSERT_TRUE(testing::DesktopSession::activate(otherXid));
    AITalkDesktop::pumpFor(0.2);

    auto window = make();
    window->show(answered("focus stays with the reader's application"));
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_get_mapped(window->parts().window); }));
    AITalkDesktop::pumpFor(0.2);
    Display* dpy = AITalkDesktop::display();
    const auto state = property(window->parts().window, "_NET_WM_STATE");
    for (const char* name :
         {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        EXPECT_NE(std::find(state.begin(), state.end(), XInternAtom(dpy, name, False)), state.end())
            << name;
    }
    // On every workspace: the window manager keeps it on all of them.
    const auto desktop = property(window->parts().window, "_NET_WM_DESKTOP");
    ASSERT_EQ(desktop.size(), 1u);
    EXPECT_EQ(desktop[0] & 0xFFFFFFFFul, 0xFFFFFFFFul);
    EXPECT_EQ(testing::DesktopSession::focusedWindow(), otherXid)
        << "opening leaves the focus where it was";

    // Clicking into the input makes the window take the keyboard.
    ASSERT_TRUE(loaded(*window));
    const auto [x, y] = rootPoint(*window, window->parts().input, 30, 10);
    AITalkDesktop::clickAt(x, y);
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_has_focus(window->parts().input); }));
    EXPECT_EQ(testing::DesktopSession::focusedWindow(),
              GDK_WINDOW_XID(gtk_widget_get_window(window->parts().window)));
    gtk_widget_destroy(other);
}

TEST_F(AnswerWindowTest, HostileAnswersStayInertAndBrokenOnesStillShow) {
    for (bool renderer : {true, false}) {
        auto window = make(ThemeMode::light, renderer);
        ASSERT_TRUE(loaded(*window));
        EXPECT_TRUE(log.contains("ai_talk", renderer ? "renderer=windows_md" : "renderer=plain"));
        window->show(answered(
            "<script>window.__pwned=1</script><img src=x onerror=\"window.__pwned=2\">"
            "<svg onload=\"window.__pwned=3\"></svg><iframe src=\"https://example.com\"></iframe>\n"
            "Broken: $\\frac{1}{$ and **unclosed and `tick\n```\nnever closed <b>b</b>"));
        ASSERT_TRUE(pageShows(*window, "Broken"));
        AITalkDesktop::pumpFor(0.3);
        EXPECT_EQ(evaluate(*window, "typeof window.__pwned"), Json("undefined")) << renderer;
        EXPECT_EQ(evaluate(*window,
                           "document.querySelectorAll('#thread script, #thread img, "
                           "#thread svg, #thread iframe').length"),
                  Json(0));
        if (renderer) {
            EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread pre').length"),
                      Json(1));
        } else {
            EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread .plain').length"),
                      Json(1));
        }
        // A script of the page cannot take the window elsewhere or open another.
        evaluate(*window, "location.href='https://example.com/'; window.open('about:blank')");
        AITalkDesktop::pumpFor(0.5);
        EXPECT_EQ(evaluate(*window, "location.href"), Json("about:blank"));
        EXPECT_TRUE(pageShows(*window, "Broken"));
        evaluate(*window, "location.reload()");
        AITalkDesktop::pumpFor(0.5);
        EXPECT_TRUE(pageShows(*window, "Broken")) << "not even to itself";
    }
}

TEST_F(AnswerWindowTest, ABrokenFormulaShowsItsSource) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("좋은 식 $x^2$ 과 깨진 식 $\\frac{1}{\\left($ 입니다."));
    ASSERT_TRUE(pageShows(*window, "입니다"));
    EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread math').length"), Json(1));
    EXPECT_EQ(evaluate(*window, "document.querySelector('#thread .tex-raw').textContent"),
              Json("$\\frac{1}{\\left($"));
}

TEST_F(AnswerWindowTest, APayloadBeforeTheLoadIsShownOnceThePageIsThere) {
    auto window = make();
    ASSERT_FALSE(window->pageReady());
    window->show(answered("first, replaced"));
    window->show(answered("the last one before the load", 2));
    ASSERT_TRUE(loaded(*window));
    EXPECT_TRUE(pageShows(*window, "the last one before the load"));
    EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread .ai').length"), Json(1));
}

TEST_F(AnswerWindowTest, TheInputTakesFiveHundredScalarsAndGrowsToFourLines) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("answer"));
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_get_mapped(window->parts().input); }));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(window->parts().input));
    std::string pasted;
    for (int i = 0; i < 600; ++i) {
        pasted += "가";
    }
    gtk_text_buffer_set_text(buffer, pasted.c_str(), -1);
    EXPECT_EQ(PyText::count(window->inputText()), 500u);
    const double line = AnswerWindow::inputLineHeight();
    EXPECT_TRUE(AITalkDesktop::pumpUntil([&] {
        return window->inputHeight() == AnswerLayout::inputBoxHeight(4, line);
    })) << window->inputHeight();
    EXPECT_FALSE(visible(window->parts().placeholder));
    gtk_text_buffer_set_text(buffer, "two\nlines", -1);
    EXPECT_TRUE(AITalkDesktop::pumpUntil([&] {
        return window->inputHeight() == AnswerLayout::inputBoxHeight(2, line);
    })) << window->inputHeight();

    // Shift+Return breaks the line, Return sends, an empty question is not sent.
    const auto [x, y] = rootPoint(*window, window->parts().input, 30, 10);
    AITalkDesktop::clickAt(x, y);
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_has_focus(window->parts().input); }));
    gtk_text_buffer_set_text(buffer, "", -1);
    AITalkDesktop::type("a");
    AITalkDesktop::chord({"Shift_L", "Return"});
    AITalkDesktop::type("b");
    EXPECT_TRUE(AITalkDesktop::pumpUntil([&] { return window->inputText() == "a\nb"; }))
        << window->inputText();
    AITalkDesktop::chord({"Return"});
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !followups.empty(); }));
    EXPECT_EQ(followups, std::vector<std::string>{"a\nb"});
    // The key typed after the Return shows that the Return was taken, and sent nothing.
    AITalkDesktop::type("   ");
    AITalkDesktop::chord({"Return"});
    AITalkDesktop::type("d");
    EXPECT_TRUE(AITalkDesktop::pumpUntil([&] { return window->inputText() == "   d"; }))
        << window->inputText();
    EXPECT_EQ(followups.size(), 1u);
    // Ctrl+Return sends too; while a follow-up is pending nothing is sent.
    gtk_text_buffer_set_text(buffer, "", -1);
    AITalkDesktop::type("c");
    AITalkDesktop::chord({"Control_L", "Return"});
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return followups.size() == 2; }));
    EXPECT_EQ(followups.back(), "c");
    auto pending = answered("answer");
    pending.pending = true;
    window->show(pending);
    EXPECT_FALSE(gtk_widget_get_sensitive(window->parts().send));
    window->tapSend();
    EXPECT_EQ(followups.size(), 2u);
    // Escape asks to close.
    window->show(answered("answer"));
    gtk_widget_grab_focus(window->parts().input);
    AITalkDesktop::chord({"Escape"});
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !closes.empty(); }));
    EXPECT_EQ(closes, std::vector<std::string>{"escape"});
    EXPECT_EQ(window->inputText(), "") << "hiding empties the input";
}

// A Return press reaching the input at `time`, as the display delivers it or as an input method
// that works asynchronously hands it back.
void pressReturn(AnswerWindow& window, guint32 time) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window.parts().window)));
    event->key.send_event = FALSE;
    event->key.time = time;
    event->key.keyval = GDK_KEY_Return;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
    gtk_main_do_event(event);
    gdk_event_free(event);
}

TEST_F(AnswerWindowTest, ReturnWhileAnInputMethodComposesSendsNothing) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("answer"));
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_get_mapped(window->parts().input); }));
    const auto [x, y] = rootPoint(*window, window->parts().input, 30, 10);
    AITalkDesktop::clickAt(x, y);
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_has_focus(window->parts().input); }));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(window->parts().input));
    gtk_text_buffer_set_text(buffer, "안", -1);
    g_signal_emit_by_name(window->parts().input, "preedit-changed", "녕");

    pressReturn(*window, 1000);
    EXPECT_TRUE(followups.empty());
    // The input method commits the syllable and hands the same press back.
    g_signal_emit_by_name(window->parts().input, "preedit-changed", "");
    gtk_text_buffer_insert_at_cursor(buffer, "녕", -1);
    pressReturn(*window, 1000);
    EXPECT_TRUE(followups.empty());
    EXPECT_EQ(window->inputText(), "안녕") << "no line break either";
    // The next press sends.
    pressReturn(*window, 1200);
    EXPECT_EQ(followups, std::vector<std::string>{"안녕"});
}

TEST_F(AnswerWindowTest, ABlankAreaDragsTheWindowAndAnEdgeResizesIt) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("short"));
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return window->solids().has_value(); }));
    const GdkRectangle start = window->frame();
    EXPECT_EQ(start.width, 420);
    EXPECT_EQ(start.x, 1920 - 16 - 420);
    // A point of the page right of the short answer is blank.
    const auto [bx, by] = rootPoint(*window, GTK_WIDGET(window->parts().webView), 380, 40);
    AITalkDesktop::dragFrom(bx, by, bx - 200, by + 100);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return window->frame().x == start.x - 200; }));
    EXPECT_EQ(window->frame().y, start.y + 100);
    EXPECT_TRUE(log.has("ai_talk", "답 창 끌기"));
    EXPECT_TRUE(window->isVisible());

    // The left edge widens the window; the size is kept for the next opening.
    const GdkRectangle moved = window->frame();
    const auto [ex, ey] = rootPoint(*window, window->parts().leftEdge, 2, 60);
    AITalkDesktop::dragFrom(ex, ey, ex - 80, ey);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return savedSize.has_value(); }));
    EXPECT_EQ(*savedSize, "500," + std::to_string(moved.height));
    EXPECT_EQ(window->frame().x + window->frame().width, moved.x + moved.width);
    EXPECT_TRUE(window->fixedSize());
    EXPECT_TRUE(log.contains("ai_talk", "답 창 크기 기억 w=500"));
    // A fixed size is not changed by longer content.
    window->show(answered(std::string(40, '\n') + "long", 2));
    ASSERT_TRUE(pageShows(*window, "long"));
    EXPECT_EQ(window->frame().height, moved.height);

    window->hide();
    savedSize = "900,700";
    window->show(answered("reopened", 3));
    EXPECT_TRUE(AITalkDesktop::pumpUntil([&] { return window->frame().width == 900; }));
    EXPECT_EQ(window->frame().height, 700);
    EXPECT_EQ(window->frame().x, 1920 - 16 - 900);
    EXPECT_EQ(window->frame().y, 24);
    EXPECT_TRUE(log.has("ai_talk", "답 창 뜸 fixed_size=true"));
}

TEST_F(AnswerWindowTest, ThePointerOnTheWindowPausesTheCountdown) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("pause"));
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_get_mapped(window->parts().window); }));
    const GdkRectangle frame = window->frame();
    AITalkDesktop::pointerTo(frame.x + 100, frame.y + 60);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return window->ringPaused(); }, 3));
    clock->advance(20);
    AITalkDesktop::pumpFor(0.3);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->countdown().remaining, AnswerCountdown::total);
    // The same answer shown again keeps the countdown; leaving lets it run out.
    AITalkDesktop::pointerTo(5, 5);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !window->ringPaused(); }, 3));
    clock->advance(3);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return window->countdown().remaining < 8; }, 3));
    window->show(answered("pause"));
    EXPECT_LT(window->countdown().remaining, 8);
    clock->advance(8);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !closes.empty(); }, 3));
    EXPECT_EQ(closes, std::vector<std::string>{"timer"});
}

// Counts the payloads the page is given from now on, in `__shown`.
const char* const kCountShows =
    "window.__shown = 0; var show = __answer.show;"
    "__answer.show = function (m) { __shown += 1; return show(m); }; true";

TEST_F(AnswerWindowTest, ARedrawThatChangesNothingIsNotSentToThePage) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("the same answer"));
    ASSERT_TRUE(pageShows(*window, "the same answer"));
    evaluate(*window, kCountShows);

    window->show(answered("the same answer"));
    auto noticed = answered("the same answer");
    noticed.notice = AITalkText::turnLimit;
    window->show(noticed);
    EXPECT_TRUE(visible(window->parts().notice)) << "the controls follow all the same";
    auto pending = noticed;
    pending.pending = true;
    window->show(pending);
    // Scripts run in order: once the last is counted, the ones before it would have been too.
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] {
        const auto shown = evaluate(*window, "__shown");
        return shown && *shown != Json(0);
    }));
    EXPECT_EQ(evaluate(*window, "__shown"), Json(1));
    EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread .thinking').length"), Json(1));

    // Hiding empties the page: the same state is drawn again at the next opening.
    window->hide();
    window->show(pending);
    EXPECT_TRUE(pageShows(*window, "the same answer"));
    EXPECT_EQ(evaluate(*window, "__shown"), Json(3)) << "the emptied page, then the state";
}

TEST_F(AnswerWindowTest, AnAnswerWhoseWebProcessEndedIsNotLoadedAgain) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    window->show(answered("an answer the page could not hold"));
    ASSERT_TRUE(pageShows(*window, "could not hold"));
    webkit_web_view_terminate_web_process(window->parts().webView);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !window->pageReady(); }));
    EXPECT_TRUE(log.contains("ai_talk", "🔴 답 창 웹 프로세스 끝남 reason=ended visible=true"));
    // The window says the answer did not come through, takes no follow-up and waits to be closed.
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(window->parts().notice)), AITalkText::retry);
    EXPECT_TRUE(visible(window->parts().notice));
    EXPECT_FALSE(gtk_widget_get_sensitive(window->parts().send));
    EXPECT_FALSE(visible(window->parts().ring));
    EXPECT_FALSE(visible(window->parts().actionRow));
    auto followup = answered("an answer the page could not hold");
    followup.turns.push_back({testing::Role::user, "and then?"});
    followup.pending = true;
    window->show(followup);
    clock->advance(20);
    EXPECT_FALSE(AITalkDesktop::pumpUntil([&] { return window->pageReady(); }, 2))
        << "the page is not loaded again with the same answer";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(closes.empty());

    // The next question has a page again.
    window->show(AnswerState{});
    ASSERT_TRUE(loaded(*window));
    EXPECT_TRUE(log.has("ai_talk", "답 창 페이지 다시 읽음"));
    window->show(answered("the next answer", 2));
    EXPECT_TRUE(pageShows(*window, "the next answer"));
    EXPECT_FALSE(visible(window->parts().notice));
    EXPECT_TRUE(gtk_widget_get_sensitive(window->parts().send));
}

}  // namespace
}  // namespace parlendo
