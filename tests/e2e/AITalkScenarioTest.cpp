// A study evening: the user makes a project in the manage window and drops a PDF from a file
// window onto it; the PDF is read and uploaded, and shows in the project's list. Opened in the
// desktop's PDF viewer, a passage selected and Ctrl+C pressed twice: the answer window shows the
// server's answer about that page, and takes a follow-up question.
#include "CaptureSteps.h"
#include "PdfViewer.h"

#include "TestPdf.h"
#include "foundation/Json.h"
#include "foundation/SHA256.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace parlendo::testing {
namespace {

const std::vector<std::vector<std::string>> pageLines = {
    {"Page 1.", "Newton's second law states that the net force on a body",
     "equals its mass times its acceleration, for a body of constant mass."},
    {"Page 2.", "The third law says that every action has an equal and opposite reaction."}};

void button(bool press) {
    Display* dpy = gdk_x11_get_default_xdisplay();
    XTestFakeButtonEvent(dpy, 1, press ? True : False, CurrentTime);
    XFlush(dpy);
}

// The left button pressed at one point, the pointer moved in `steps` steps to another, released.
void dragFrom(int x0, int y0, int x1, int y1, int steps = 10) {
    DesktopSession::pointerTo(x0, y0);
    DesktopSession::pumpFor(0.1);
    button(true);
    DesktopSession::pumpFor(0.1);
    for (int i = 1; i <= steps; ++i) {
        DesktopSession::pointerTo(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
        DesktopSession::pumpFor(0.03);
    }
    DesktopSession::pumpFor(0.1);
    button(false);
    DesktopSession::pumpFor(0.1);
}

// "at X Y WIDTH HEIGHT" as a rectangle.
GdkRectangle rectangle(const std::string& line) {
    GdkRectangle place{0, 0, 0, 0};
    std::sscanf(line.c_str(), "at %d %d %d %d", &place.x, &place.y, &place.width, &place.height);
    return place;
}

bool pageShows(const std::string& text, double seconds = 15) {
    return DesktopSession::pumpUntil(
        [&] { return ProgramWindows::pageText().find(text) != std::string::npos; }, seconds);
}

// Ctrl held, C pressed twice.
void copyTwice() {
    Display* dpy = gdk_x11_get_default_xdisplay();
    const unsigned control = XKeysymToKeycode(dpy, XK_Control_L);
    const unsigned c = XKeysymToKeycode(dpy, XK_c);
    DesktopSession::key(control, true);
    DesktopSession::pumpFor(0.05);
    DesktopSession::tap({c});
    DesktopSession::pumpFor(0.15);
    DesktopSession::tap({c});
    DesktopSession::pumpFor(0.05);
    DesktopSession::key(control, false);
}

using AITalkScenario = CaptureSteps;

TEST_F(AITalkScenario, AProjectPdfDroppedInTheManageWindowIsAskedAboutAndFollowedUp) {
    if (!testing::PdfViewer::installed()) {
        GTEST_SKIP() << "evince is not installed (scripts/setup.sh installs it)";
    }
    // The first question opens a thread; a follow-up names it.
    backend.interpose("POST", "/functions/v1/ask-document",
                      StubAnswer::from(200, [](const StubRequest& request) -> std::string {
                          const bool followup = request.body.find("\"t-1\"") != std::string::npos;
                          return Json{{"status", "ok"},
                                      {"answer", followup ? "질량이 일정할 때만 그래요."
                                                          : "힘은 질량 곱하기 가속도예요."},
                                      {"thread_id", "t-1"}}
                              .dump();
                      }));
    // The study notes, a PDF of two pages, in a folder of the user's.
    const auto folder =
        std::filesystem::temp_directory_path() / ("parlendo-e2e-pdf-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto pdf = folder / "Physics Notes.pdf";
    TestPdf::Document document;
    for (const auto& lines : pageLines) {
        document.pages.push_back(TestPdf::Page{595, 842, lines, std::nullopt});
    }
    ASSERT_TRUE(TestPdf::write(pdf, document));
    ASSERT_NO_FATAL_FAILURE(startReading());

    // A new project "Physics", made in the manage window's projects screen.
    ASSERT_TRUE(panel->click("관리 창 열기")) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    ASSERT_TRUE(ProgramWindows::clickPage("프로젝트"));
    // Only the word book's own project so far.
    ASSERT_TRUE(pageShows("단어장 프로젝트")) << ProgramWindows::pageText() << log();
    const auto manage = ProgramWindows::all();
    ASSERT_EQ(manage.size(), 1u);
    ASSERT_TRUE(ProgramWindows::clickPage("새 프로젝트"));
    ASSERT_TRUE(pageShows("프로젝트 이름")) << ProgramWindows::pageText();
    ProgramWindows::typeText("Physics");
    screenshot(manage[0].place, "new-project");
    ASSERT_TRUE(ProgramWindows::clickPage("만들기"));
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/drive_drives")) << log();
    const auto created = json::parse(backend.requests("POST", "/rest/v1/drive_drives")[0].body)
                             .value_or(Json::object());
    EXPECT_EQ(json::string(created, "name"), "Physics") << created.dump();
    EXPECT_EQ(json::string(created, "kind"), "study") << created.dump();
    ASSERT_TRUE(pageShows("Physics")) << ProgramWindows::pageText() << log();
    GdkRectangle target{0, 0, 0, 0};
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] {
            target = ProgramWindows::pageFind("문서가 없어요");
            return target.width > 0;
        },
        10))
        << ProgramWindows::pageText();
    const auto drive = backend.projects.driveNamed("Physics");
    ASSERT_TRUE(drive);
    // The project's AI popup, set up on the server.
    backend.projects.addPopup(*drive, "설명");

    // The PDF dragged from a file window onto the project and dropped: it is read and sent page
    // by page; the finish waits a moment, so that the progress stays in sight.
    backend.projects.holdFinish(1.5);
    auto files = std::make_unique<TestWindow>(std::vector<std::string>{
        "--title", "Files", "--drag-file", pdf.string(), "--at", "20,100"});
    ASSERT_NE(files->xid, 0u);
    DesktopSession::activate(files->xid);
    DesktopSession::pumpFor(0.3);
    ASSERT_TRUE(files->command("where-drag"));
    const GdkRectangle from = rectangle(files->waitFor("at ").value_or(""));
    ASSERT_GT(from.width, 0);
    dragFrom(from.x + from.width / 2, from.y + from.height / 2, target.x + target.width / 2,
             target.y + target.height / 2, 20);
    const auto dragged = files->waitFor("dragged ");
    EXPECT_EQ(dragged.value_or("(no end)"), "dragged copy")
        << ::testing::PrintToString(files->seen("drag-failed"));
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/drive_upload_finish_v1", 1, 20)) << log();
    EXPECT_TRUE(pageShows("파일 1 / 1 · 2 / 2쪽 올림", 5)) << ProgramWindows::pageText();
    screenshot(manage[0].place, "upload-progress");
    ASSERT_TRUE(pageShows("Physics Notes.pdf")) << ProgramWindows::pageText() << log();
    EXPECT_TRUE(pageShows("2쪽")) << ProgramWindows::pageText();
    EXPECT_TRUE(pageShows("문서 1개를 올렸어요.")) << ProgramWindows::pageText();
    EXPECT_TRUE(pageShows("문서 1개 ·")) << ProgramWindows::pageText();  // in the project's line
    screenshot(manage[0].place, "uploaded");
    files.reset();

    // What the server received: the file's name, its two pages with their text, a fingerprint
    // of that text.
    const auto begun =
        json::parse(backend.requests("POST", "/rest/v1/rpc/drive_upload_begin_v1")[0].body)
            .value_or(Json::object());
    EXPECT_EQ(json::string(begun, "p_drive_id"), *drive) << begun.dump();
    EXPECT_EQ(json::string(begun, "p_file_name"), "Physics Notes.pdf") << begun.dump();
    EXPECT_EQ(begun.value("p_page_count", 0), 2) << begun.dump();
    const auto stored = backend.projects.documents();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].status, "ready");
    ASSERT_EQ(stored[0].pages.size(), 2u);
    EXPECT_NE(stored[0].pages[0].find("Newton's second law"), std::string::npos)
        << stored[0].pages[0];
    EXPECT_NE(stored[0].pages[1].find("equal and opposite reaction"), std::string::npos)
        << stored[0].pages[1];
    EXPECT_EQ(stored[0].sha, SHA256::hex(stored[0].pages[0] + "\f" + stored[0].pages[1]));

    // The AI popup switched on for the copy keys, then the manage window closed, as its close
    // button does.
    ASSERT_TRUE(ProgramWindows::clickPage("AI 팝업 (Ctrl+C 두 번)"));
    ASSERT_TRUE(waitForLog("[ai_talk] AI 톡 켬 source=manage")) << log();
    screenshot(manage[0].place, "ai-popup-on");
    ProgramWindows::close(manage[0]);
    ASSERT_TRUE(waitForLog("[manage] 관리 창 닫힘")) << log();

    // The PDF open in the viewer; the first lines of page 1 selected with the pointer.
    testing::PdfViewer viewer(pdf);
    const auto shown = viewer.window();
    ASSERT_TRUE(shown) << "the viewer showed no window";
    const unsigned long xid = shown->xid;
    const GdkRectangle place = shown->area;
    DesktopSession::pumpFor(2.0);  // the document is laid out
    DesktopSession::activate(xid);
    DesktopSession::pumpFor(0.3);
    dragFrom(place.x + 45, place.y + 100, place.x + 400, place.y + 140);
    screenshot(place, "selection");

    // Ctrl+C twice: the question goes out with the document, its page and the popup.
    copyTwice();
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/ask-document", 1, 30)) << log();
    const auto asked = json::parse(backend.requests("POST", "/functions/v1/ask-document")[0].body)
                           .value_or(Json::object());
    EXPECT_EQ(json::string(asked, "document_id"), stored[0].id) << asked.dump();
    EXPECT_EQ(asked.value("page_no", 0), 1) << asked.dump();
    EXPECT_EQ(json::string(asked, "popup_id"), "pop-1") << asked.dump();

    // The answer window shows the server's answer.
    EXPECT_TRUE(DesktopSession::pumpUntil(
        [] { return ProgramWindows::pageText().find("가속도예요") != std::string::npos; }, 15))
        << ProgramWindows::pageText() << log();
    // The answer window (the program may have other windows of its own mapped out of sight).
    std::optional<ProgramWindows::Window> answer;
    for (auto& window : ProgramWindows::all()) {
        if (window.title == "PARLENDO AI") {
            answer = std::move(window);
        }
    }
    ASSERT_TRUE(answer) << log();
    screenshot(answer->place, "answer");

    // A follow-up, typed into the window's input and sent with Return, goes into the same thread.
    ASSERT_TRUE(ProgramWindows::click(*answer, "text", ""))
        << ::testing::PrintToString(answer->texts());
    ProgramWindows::typeText("only for constant mass?");
    ProgramWindows::pressKey(XK_Return);
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/ask-document", 2, 30)) << log();
    const auto followup =
        json::parse(backend.requests("POST", "/functions/v1/ask-document")[1].body)
            .value_or(Json::object());
    EXPECT_EQ(json::string(followup, "thread_id"), "t-1") << followup.dump();
    EXPECT_TRUE(DesktopSession::pumpUntil(
        [] { return ProgramWindows::pageText().find("일정할 때만") != std::string::npos; }, 15))
        << ProgramWindows::pageText() << log();
    screenshot(answer->place, "follow-up");
    EXPECT_EQ(terminate(), 0) << log();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace parlendo::testing
