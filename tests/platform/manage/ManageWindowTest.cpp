#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "DragSource.h"
#include "FileOpens.h"
#include "HeldThreads.h"
#include "TempDir.h"
#include "WindowRig.h"
#include "foundation/UserActionTime.h"
#include "foundation/WebContext.h"
#include "foundation/WorkerQueue.h"

namespace parlendo {
namespace {

using testing::WindowRig;

TEST(ManageWindow, PageCallsThroughTheShimReceiveTheirEnvelopes) {
    WindowRig rig("bridge.html");
    std::vector<Completion<void(BridgeReply)>> slow;
    std::optional<Json> report;
    rig.routes->serve("echo", [](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
        done(BridgeReply::ok(Json(args.raw)));
    });
    rig.routes->serve("slow", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        slow.push_back(std::move(done));
    });
    rig.routes->answer("ui_error", BridgeReply::ok(Json{{"count", 1}}));
    rig.routes->serve("report", [&](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
        report = *args.any(0);
        done(BridgeReply::ok(true));
    });
    // Mapped once, by the presenter, with the time of the action that asked for it.
    testing::FirstMapTimes maps;
    UserActionTime::note();
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(maps.of(GTK_WIDGET(rig.window->window())), UserActionTime::latest());
    ASSERT_TRUE(rig.until([&] { return slow.size() == 2; })) << rig.log.all();
    // Two calls in flight settle in whatever order they are answered.
    slow[1](BridgeReply::ok("second"));
    slow[0](BridgeReply::ok("first"));
    ASSERT_TRUE(rig.until([&] { return report.has_value(); }));

    EXPECT_EQ((*report)["echo"], Json::parse(R"({"ok":true,"data":[1,"x",{"a":[true,null]}]})"));
    EXPECT_EQ((*report)["unknown"],
              Json::parse(R"({"ok":false,"msg":"REQUEST_FAILED","error_class":"request"})"));
    EXPECT_EQ((*report)["error"], Json::parse(R"({"ok":true,"data":{"count":1}})"));
    EXPECT_EQ((*report)["slow"][0]["data"], "first");
    EXPECT_EQ((*report)["slow"][1]["data"], "second");
    EXPECT_EQ((*report)["awaited"], true);
    // A lone surrogate half arrives repaired; the other characters as they were.
    EXPECT_EQ((*report)["text"]["data"][0], "한국어 \xef\xbf\xbd \xe2\x80\xa8 \"");
    EXPECT_TRUE(rig.log.has("manage", "no_such_call 실패 reason=unknown_method"));
    EXPECT_TRUE(
        rig.log.contains("manage", "관리 화면 로드됨 · 맥 덧씌움 문구 0개 · 키 0개 · theme=light"));
    testing::snapshotWebView(rig.window->webView(), "bridge-page");
}

// The page's file is read off the main loop, which a busy disk would hold for tens of
// milliseconds: nothing of the window is built before the read has ended. The page is a copy
// of its own, which no other test opens.
TEST(ManageWindow, ThePagesFileIsReadOffTheMainLoop) {
    testing::TempDir folder;
    const auto page = folder.path() / "theme.html";
    std::filesystem::copy_file(testing::pagesFolder() / "theme.html", page);
    WindowRig rig(page.string());
    testing::FileOpens opens({page});
    testing::HeldThreads held(ThreadPool::global(), 4);
    rig.show();
    rig.until([] { return false; }, 0.3);
    EXPECT_EQ(opens.count(), 0) << "read on the main loop";
    EXPECT_EQ(rig.window->window(), nullptr);
    held.release();
    ASSERT_TRUE(rig.until([&] { return rig.window->loaded(); })) << rig.log.all();
    EXPECT_GE(opens.count(), 1);
}

TEST(ManageWindow, MessagesThatDidNotComeThroughTheShimAreRefused) {
    WindowRig rig("theme.html");
    int echoes = 0;
    rig.routes->serve("echo", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        ++echoes;
        done(BridgeReply::ok(1));
    });
    ASSERT_TRUE(rig.open());
    // A frame of the page has the message handler but not the shim.
    EXPECT_EQ(rig.run("var frame = document.createElement('iframe');"
                      "document.body.appendChild(frame);"
                      "frame.contentWindow.webkit.messageHandlers.bridge.postMessage("
                      "{id: 99, name: 'echo', args: ['from frame']}); 1"),
              Json(1));
    ASSERT_TRUE(rig.until([&] {
        return rig.log.contains("manage",
                                "🔴 다리 메시지 버림 — 관리 화면이 아닌 곳 main_frame=false");
    })) << rig.log.all();
    const int before = echoes;
    rig.run(
        "window.webkit.messageHandlers.bridge.postMessage({id: 500, name: 'echo', args: []});"
        "window.webkit.messageHandlers.bridge.postMessage("
        "{id: 501, name: 'echo', args: [], nonce: 'guessed'}); 1");
    // What holds no call at all is told apart from a stranger's message.
    rig.run(
        "window.webkit.messageHandlers.bridge.postMessage('not even an object');"
        "window.webkit.messageHandlers.bridge.postMessage(undefined); 1");
    ASSERT_TRUE(rig.until([&] {
        return rig.log.count("manage",
                             "🔴 다리 메시지 버림 — 읽을 수 없는 메시지 kind=file_other") == 2;
    })) << rig.log.all();
    EXPECT_EQ(echoes, before);
    EXPECT_EQ(rig.log.count("manage",
                            "🔴 다리 메시지 버림 — 관리 화면이 아닌 곳 "
                            "main_frame=false kind=file_other"),
              3u);
}

TEST(ManageWindow, TheViewStaysOnThePageAndClickedWebLinksOpenOutside) {
    WindowRig rig("links.html");
    ASSERT_TRUE(rig.open());
    const std::string page = *rig.window->page();

    rig.run("location.href = 'https://example.com/away'; 1");
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "🔴 이동 막음 kind=https"); }));
    // The page is loaded with access to its own folder only: the engine itself refuses to leave
    // it for a file elsewhere, before any policy is asked.
    rig.run("location.href = 'file:///tmp/paper.pdf'; 1");
    testing::pumpFor(0.5);
    EXPECT_TRUE(rig.opener->urls.empty());
    EXPECT_EQ(webkit_web_view_get_uri(rig.window->webView()), page);

    // A real click on the page's link: refused in the view, handed to the browser.
    const auto rect = rig.run(
        "(function () { var r = document.getElementById('link').getBoundingClientRect();"
        " return [Math.round(r.left + 10), Math.round(r.top + r.height / 2)]; })()");
    ASSERT_TRUE(rect && rect->is_array());
    testing::clickAt(testing::onScreen(GTK_WIDGET(rig.window->webView()), (*rect)[0].get<int>(),
                                       (*rect)[1].get<int>()));
    ASSERT_TRUE(rig.until([&] { return !rig.opener->urls.empty(); })) << rig.log.all();
    EXPECT_EQ(rig.opener->urls, (std::vector<std::string>{"https://example.com/outside"}));
    EXPECT_TRUE(rig.log.contains("manage", "🔴 이동 막음 kind=https type=0"));
    EXPECT_EQ(webkit_web_view_get_uri(rig.window->webView()), page);

    // A clicked link to a local program is refused and not handed on; a file of the page's own
    // folder is refused by the policy.
    const auto other = rig.run(
        "(function () { var r = document.getElementById('file').getBoundingClientRect();"
        " return [Math.round(r.left + 10), Math.round(r.top + r.height / 2)]; })()");
    testing::clickAt(testing::onScreen(GTK_WIDGET(rig.window->webView()), (*other)[0].get<int>(),
                                       (*other)[1].get<int>()));
    testing::pumpFor(0.5);
    rig.run("location.href = 'guard.html'; 1");
    ASSERT_TRUE(
        rig.until([&] { return rig.log.contains("manage", "🔴 이동 막음 kind=file_other"); }));
    EXPECT_EQ(webkit_web_view_get_uri(rig.window->webView()), page);
    EXPECT_EQ(rig.opener->urls.size(), 1u);
    EXPECT_TRUE(rig.opener->paths.empty());
}

TEST(ManageWindow, ClosingAsksThePageAboutUnsavedEdits) {
    WindowRig rig("guard.html");
    int& closed = rig.closed;
    ASSERT_TRUE(rig.open());

    // No edits: the window closes once the page says so.
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return closed == 1; }));
    EXPECT_EQ(rig.window->window(), nullptr);
    EXPECT_TRUE(rig.log.has("manage", "관리 창 닫힘 — 웹뷰 해제, 감지는 유지"));

    // With edits: the alert; "계속 편집" keeps the window.
    ASSERT_TRUE(rig.open());
    rig.run("edits = true; 1");
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.window->closeAlert() != nullptr; }));
    testing::snapshotWindow(rig.window->closeAlert(), "close-guard-alert");
    gtk_dialog_response(GTK_DIALOG(rig.window->closeAlert()), 1);
    testing::pumpFor(0.1);
    EXPECT_NE(rig.window->window(), nullptr);
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(rig.log.has("manage", "닫기 전 확인 — 계속 편집"));

    // The time-out of the first attempt does nothing once it was decided.
    rig.main->clock()->advance(ManageWindow::closeGuardSeconds);
    EXPECT_NE(rig.window->window(), nullptr);

    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.window->closeAlert() != nullptr; }));
    gtk_dialog_response(GTK_DIALOG(rig.window->closeAlert()), 2);
    ASSERT_TRUE(rig.until([&] { return closed == 2; }));
    EXPECT_TRUE(rig.log.has("manage", "닫기 전 확인 — 버리고 닫기"));
}

// The page answers late, and the user has gone on typing in another application meanwhile: the
// question comes above that application's window, which keeps the keyboard.
TEST(ManageWindow, TheUnsavedEditsQuestionComesAboveTheWindowTheUserWentOnIn) {
    using testing::DesktopSession;
    WindowRig rig("guard.html");
    ASSERT_TRUE(rig.open());
    const auto editor = testing::TestWindow::inFront({"--title", "편집기", "--at", "40,40"});
    GtkWidget* manage = GTK_WIDGET(rig.window->window());
    ASSERT_TRUE(DesktopSession::activate(DesktopSession::windowOf(manage)));
    UserActionTime::note();  // the click on the close button
    const unsigned closing = UserActionTime::latest();
    rig.run("edits = true; stall = 3000; 1");
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(DesktopSession::clickInto(editor->xid));
    ASSERT_TRUE(rig.until([&] { return DesktopSession::userTime(editor->xid) > closing; }));
    ASSERT_EQ(rig.window->closeAlert(), nullptr) << "the page answered before the user went on";

    ASSERT_TRUE(rig.until([&] {
        return rig.window->closeAlert() != nullptr &&
               gtk_widget_get_mapped(rig.window->closeAlert());
    }));
    const unsigned long question = DesktopSession::windowOf(rig.window->closeAlert());
    EXPECT_TRUE(rig.until([&] { return DesktopSession::stackedAbove(question, editor->xid); }, 5));
    EXPECT_EQ(DesktopSession::focusedWindow(), editor->xid) << "question " << question;
    gtk_dialog_response(GTK_DIALOG(rig.window->closeAlert()), 1);
}

TEST(ManageWindow, APageThatDoesNotAnswerInTimeLetsTheWindowClose) {
    WindowRig rig("guard.html");
    int& closed = rig.closed;
    ASSERT_TRUE(rig.open());
    rig.run("edits = true; stall = 3000; 1");
    gtk_window_close(rig.window->window());
    testing::pumpFor(0.3);
    EXPECT_EQ(closed, 0);
    rig.main->clock()->advance(ManageWindow::closeGuardSeconds);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(rig.window->window(), nullptr);
    EXPECT_EQ(rig.window->closeAlert(), nullptr);
}

TEST(ManageWindow, AfterClosingNothingRunsAndReopeningLoadsAfresh) {
    WindowRig rig("theme.html");
    ASSERT_TRUE(rig.open());
    WebKitWebView* first = rig.window->webView();
    EXPECT_EQ(rig.run("document.documentElement.getAttribute('data-app-theme')"), "light");
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.window->window() == nullptr; }));

    bool ran = false;
    rig.window->run("1", [&](std::optional<Json> result) {
        ran = true;
        EXPECT_EQ(result, std::nullopt);
    });
    EXPECT_TRUE(ran);
    rig.window->push("theme", "1");
    testing::pumpFor(0.1);
    EXPECT_FALSE(rig.log.contains("manage", "화면에 알림"));

    // The next opening seeds the theme of that moment at document start.
    rig.theme = ThemeMode::dark;
    ASSERT_TRUE(rig.open());
    EXPECT_NE(rig.window->webView(), nullptr);
    (void)first;
    EXPECT_EQ(rig.run("[document.documentElement.getAttribute('data-app-theme'), appTheme]"),
              Json::parse(R"(["dark", "dark"])"));
    EXPECT_EQ(rig.run("typeof __prlMac.replaceText + typeof __prlTheme"), "functionfunction");
    testing::snapshotWebView(rig.window->webView(), "theme-dark");
}

TEST(ManageWindow, ClosingTheWindowGivesTheMemoryOfItsWebViewBack) {
    WindowRig rig("theme.html");
    ASSERT_TRUE(rig.open());
    EXPECT_TRUE(WebContext::alive());
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.closed == 1; }));
    EXPECT_TRUE(
        rig.until([&] { return rig.log.contains("app", "웹 화면 닫힘 — 메모리 돌려줌 rss_mb="); },
                  WebContext::trimAfterSeconds + 10));
    // Opened again, it works as before.
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.run("document.documentElement.getAttribute('data-app-theme')"), "light");
}

TEST(ManageWindow, RunReturnsTheScriptsValueAndLogsFailures) {
    WindowRig rig("theme.html");
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.run("({a: [1, 'b']})"), Json::parse(R"({"a": [1, "b"]})"));
    EXPECT_EQ(rig.run("undefined"), std::nullopt);
    EXPECT_EQ(rig.run("null"), Json(nullptr));
    EXPECT_EQ(rig.run("throw new Error('x')"), std::nullopt);
    EXPECT_TRUE(rig.log.contains("manage", "화면에 글 실행 실패 "));
    rig.window->push("leave", "leaveApp('bye'); true");
    rig.window->push("broken", "nope(");
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "화면에 알림 broken"); }));
    EXPECT_TRUE(rig.until([&] { return rig.log.has("manage", "화면에 알림 leave applied=true"); }));
    EXPECT_TRUE(rig.log.contains("manage", "화면에 알림 broken applied=false error="));
}

TEST(ManageWindow, WithoutAPageAPlaceholderIsShownAndNothingIsTrusted) {
    WindowRig rig(std::nullopt);
    int calls = 0;
    rig.routes->serve("echo", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        ++calls;
        done(BridgeReply::ok(1));
    });
    ASSERT_TRUE(rig.open());
    EXPECT_TRUE(rig.log.contains("manage", "🔴 manage.html 이 번들에 없다"));
    rig.run("window.pywebview.api.echo(); 1");
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "🔴 다리 메시지 버림"); }));
    EXPECT_TRUE(rig.log.contains("manage", "main_frame=true kind=about"));
    EXPECT_EQ(calls, 0);
    testing::snapshotWebView(rig.window->webView(), "placeholder");
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

TEST(ManageWindow, FilesDroppedOnThePageGoToTheListeners) {
    WindowRig rig("theme.html");
    std::vector<std::vector<std::string>> drops;
    ASSERT_TRUE(rig.open());
    rig.window->onFilesDropped = [&](const std::vector<std::string>& uris) {
        drops.push_back(uris);
    };
    testing::DragSource source({"file:///tmp/one/../Paper%20One.pdf", "file:///tmp/notes.txt",
                                "https://example.com/not-a-file"});
    GtkWidget* view = GTK_WIDGET(rig.window->webView());
    testing::dragBetween(source.centre(), testing::onScreen(view, 300, 300));
    ASSERT_TRUE(rig.until([&] { return !drops.empty(); })) << rig.log.all();
    EXPECT_EQ(drops[0],
              (std::vector<std::string>{"file:///tmp/Paper%20One.pdf", "file:///tmp/notes.txt"}));
    EXPECT_TRUE(rig.log.has("manage", "파일 놓임 files=2"));
    // The view's own attempt to show the dropped file is refused.
    EXPECT_EQ(webkit_web_view_get_uri(rig.window->webView()), *rig.window->page());
}

// Text dropped on the page brings no files; a file drag that later only passes over the page is
// not taken for that drop (with a project open, its files would be uploaded).
TEST(ManageWindow, ADropWithoutFilesLeavesNothingForALaterDrag) {
    WindowRig rig("dropzone.html");
    std::vector<std::vector<std::string>> drops;
    ASSERT_TRUE(rig.open());
    rig.window->onFilesDropped = [&](const std::vector<std::string>& uris) {
        drops.push_back(uris);
    };
    GtkWidget* view = GTK_WIDGET(rig.window->webView());
    {
        testing::DragSource text({"그냥 글"}, testing::DragSource::Offer::text);
        testing::dragBetween(text.centre(), testing::onScreen(view, 300, 300));
        ASSERT_TRUE(rig.until([&] { return rig.run("drops") == Json(1); }));
    }
    testing::DragSource files({"file:///tmp/Paper.pdf"});
    testing::dragAcross(files.centre(), testing::onScreen(view, 300, 300), files.centre());
    rig.until([] { return false; }, 0.5);
    EXPECT_TRUE(drops.empty()) << rig.log.all();
    EXPECT_FALSE(rig.log.contains("manage", "파일 놓임"));

    // The next drop of files is taken as ever.
    testing::dragBetween(files.centre(), testing::onScreen(view, 300, 300));
    ASSERT_TRUE(rig.until([&] { return !drops.empty(); })) << rig.log.all();
    EXPECT_EQ(drops, (std::vector<std::vector<std::string>>{{"file:///tmp/Paper.pdf"}}));
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

TEST(ManageWindow, AWebProcessThatEndsLeavesNoLoadedPage) {
    WindowRig rig("guard.html");
    ASSERT_TRUE(rig.open());
    webkit_web_view_terminate_web_process(rig.window->webView());
    ASSERT_TRUE(rig.until([&] { return !rig.window->loaded(); }));
    EXPECT_TRUE(rig.log.contains("manage", "🔴 관리 화면의 웹 프로세스가 끝남 reason="));
    EXPECT_EQ(rig.run("1"), std::nullopt);
    // Nothing is left to ask about unsaved edits: the window closes at once.
    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.closed == 1; }));
    EXPECT_EQ(rig.window->window(), nullptr);
    EXPECT_FALSE(rig.log.contains("manage", "닫기 전 확인"));
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

// Each page numbers its calls from 1: a reply still in flight when the page is loaded again or
// the window closes must not settle the next page's call of the same number.
TEST(ManageWindow, RepliesGoOnlyToThePageThatAsked) {
    WindowRig rig("calls.html");
    std::vector<Completion<void(BridgeReply)>> held;
    rig.routes->serve("slow", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        held.push_back(std::move(done));
    });
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.until([&] { return held.size() == 1; })) << rig.log.all();

    rig.run("location.reload(); 1");
    ASSERT_TRUE(rig.until([&] { return held.size() == 2 && rig.window->loaded(); }))
        << rig.log.all();
    held[0](BridgeReply::ok("before the reload"));
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "답 버림 slow"); }));

    gtk_window_close(rig.window->window());
    ASSERT_TRUE(rig.until([&] { return rig.window->window() == nullptr; }));
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.until([&] { return held.size() == 3; })) << rig.log.all();
    held[1](BridgeReply::ok("from the closed window"));
    ASSERT_TRUE(rig.until([&] { return rig.log.count("manage", "답 버림 slow") == 2; }));
    EXPECT_EQ(rig.run("results"), Json::array());

    held[2](BridgeReply::ok("this page's own"));
    for (int i = 0; i < 100 && rig.run("results.length") != Json(1); ++i) {
        testing::pumpFor(0.05);
    }
    EXPECT_EQ(rig.run("results"), Json::parse(R"([{"ok": true, "data": "this page's own"}])"));
    EXPECT_TRUE(rig.log.has("manage", "답 버림 slow — 그 호출을 한 화면이 닫혔거나 다시 읽혔다"));
}

}  // namespace
}  // namespace parlendo
