// A study evening: a project's PDF, processed on the server, is open in the desktop's PDF viewer;
// the user selects a passage and presses Ctrl+C twice: the answer window shows the server's answer
// about that page, and takes a follow-up question.
#include "CaptureSteps.h"

#include "TestPdf.h"
#include "foundation/Json.h"
#include "foundation/SHA256.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

namespace parlendo::testing {
namespace {

const std::vector<std::vector<std::string>> pageLines = {
    {"Page 1.", "Newton's second law states that the net force on a body",
     "equals its mass times its acceleration, for a body of constant mass."},
    {"Page 2.", "The third law says that every action has an equal and opposite reaction."}};

std::string pageText(size_t index) {
    std::string out;
    for (const auto& line : pageLines[index]) {
        out += (out.empty() ? "" : "\n") + line;
    }
    return out;
}

// The page texts as the server keeps them, and their fingerprint.
std::string joinedPages() {
    std::string out;
    for (size_t i = 0; i < pageLines.size(); ++i) {
        out += (i ? "\f" : "") + pageText(i);
    }
    return out;
}

// The desktop's PDF viewer showing a file.
class Viewer {
  public:
    explicit Viewer(const std::filesystem::path& pdf) {
        gchar** envp = g_environ_unsetenv(g_get_environ(), "NO_AT_BRIDGE");
        std::string program = "evince";
        std::string file = pdf.string();
        char* argv[] = {program.data(), file.data(), nullptr};
        GError* error = nullptr;
        if (!g_spawn_async(
                nullptr, argv, envp,
                static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                nullptr, &pid_, &error)) {
            ADD_FAILURE() << "evince did not start: " << error->message;
            g_error_free(error);
        }
        g_strfreev(envp);
    }
    ~Viewer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The viewer's mapped window showing the file, once there is one.
    std::optional<GdkRectangle> window(unsigned long& xid) {
        Display* dpy = gdk_x11_get_default_xdisplay();
        const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
        std::optional<GdkRectangle> found;
        DesktopSession::pumpUntil(
            [&] {
                Window root = 0;
                Window parent = 0;
                Window* children = nullptr;
                unsigned count = 0;
                if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
                    return false;
                }
                for (unsigned i = 0; i < count && !found; ++i) {
                    XWindowAttributes attributes;
                    if (!XGetWindowAttributes(dpy, children[i], &attributes) ||
                        attributes.map_state != IsViewable || attributes.width < 200) {
                        continue;
                    }
                    Atom type = 0;
                    int format = 0;
                    unsigned long items = 0;
                    unsigned long after = 0;
                    unsigned char* data = nullptr;
                    if (XGetWindowProperty(dpy, children[i], pidAtom, 0, 1, False, XA_CARDINAL,
                                           &type, &format, &items, &after, &data) == Success &&
                        data != nullptr && items == 1 &&
                        *reinterpret_cast<unsigned long*>(data) ==
                            static_cast<unsigned long>(pid_)) {
                        int x = 0;
                        int y = 0;
                        Window child = 0;
                        XTranslateCoordinates(dpy, children[i], DefaultRootWindow(dpy), 0, 0, &x,
                                              &y, &child);
                        found = GdkRectangle{x, y, attributes.width, attributes.height};
                        xid = children[i];
                    }
                    if (data != nullptr) {
                        XFree(data);
                    }
                }
                if (children != nullptr) {
                    XFree(children);
                }
                return found.has_value();
            },
            30);
        return found;
    }

  private:
    GPid pid_ = 0;
};

void button(bool press) {
    Display* dpy = gdk_x11_get_default_xdisplay();
    XTestFakeButtonEvent(dpy, 1, press ? True : False, CurrentTime);
    XFlush(dpy);
}

void dragFrom(int x0, int y0, int x1, int y1) {
    DesktopSession::pointerTo(x0, y0);
    DesktopSession::pumpFor(0.1);
    button(true);
    DesktopSession::pumpFor(0.1);
    for (int i = 1; i <= 10; ++i) {
        DesktopSession::pointerTo(x0 + (x1 - x0) * i / 10, y0 + (y1 - y0) * i / 10);
        DesktopSession::pumpFor(0.03);
    }
    DesktopSession::pumpFor(0.1);
    button(false);
    DesktopSession::pumpFor(0.1);
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

bool hasViewer() {
    gchar* path = g_find_program_in_path("evince");
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

using AITalkScenario = CaptureSteps;

TEST_F(AITalkScenario, APassageOfAProjectPdfIsAskedAboutAndFollowedUp) {
    if (!hasViewer()) {
        GTEST_SKIP() << "evince is not installed (scripts/setup.sh installs it)";
    }
    // The project "물리" with its AI popup, and its document, processed: two pages.
    const std::string sha = SHA256::hex(joinedPages());
    backend.interpose("GET", "/rest/v1/drive_popups",
                      StubAnswer::json(200, R"([{"id":"pop-1","drive_id":"drv-1","name":"설명",)"
                                            R"("is_active":true}])"));
    backend.interpose("GET", "/rest/v1/drive_drives",
                      StubAnswer::json(200, R"([{"id":"drv-1","kind":"study","name":"물리"}])"));
    const std::string rows = Json::array({Json{{"id", "doc-1"},
                                               {"drive_id", "drv-1"},
                                               {"file_name", "Physics Notes.pdf"},
                                               {"text_sha256", sha},
                                               {"page_count", 2},
                                               {"status", "ready"},
                                               {"created_at", "2026-12-01"}}})
                                 .dump();
    backend.interpose("GET", "/rest/v1/drive_documents",
                      StubAnswer::from(200, [rows](const StubRequest& request) -> std::string {
                          const bool later = request.query.find("offset=") != std::string::npos &&
                                             request.query.find("offset=0") == std::string::npos;
                          const bool trash = request.query.find("not.is.null") != std::string::npos;
                          return later || trash ? "[]" : rows;
                      }));
    const std::string pages = Json::array({Json{{"page_no", 1}, {"text", pageText(0)}},
                                           Json{{"page_no", 2}, {"text", pageText(1)}}})
                                  .dump();
    backend.interpose("GET", "/rest/v1/drive_pages", StubAnswer::json(200, pages));
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
    ASSERT_NO_FATAL_FAILURE(startReading());
    ASSERT_TRUE(backend.waitFor("GET", "/rest/v1/drive_pages")) << log();

    // The PDF open in the viewer; the first lines of page 1 selected with the pointer.
    const auto folder =
        std::filesystem::temp_directory_path() / ("parlendo-e2e-pdf-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto pdf = folder / "Physics Notes.pdf";
    TestPdf::Document document;
    for (const auto& lines : pageLines) {
        document.pages.push_back(TestPdf::Page{595, 842, lines, std::nullopt});
    }
    ASSERT_TRUE(TestPdf::write(pdf, document));
    Viewer viewer(pdf);
    unsigned long xid = 0;
    const auto place = viewer.window(xid);
    ASSERT_TRUE(place) << "the viewer showed no window";
    DesktopSession::pumpFor(2.0);  // the document is laid out
    DesktopSession::activate(xid);
    DesktopSession::pumpFor(0.3);
    dragFrom(place->x + 45, place->y + 100, place->x + 400, place->y + 140);
    screenshot(*place, "selection");

    // Ctrl+C twice: the question goes out with the document, its page and the popup.
    copyTwice();
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/ask-document", 1, 30)) << log();
    const auto asked = json::parse(backend.requests("POST", "/functions/v1/ask-document")[0].body)
                           .value_or(Json::object());
    EXPECT_EQ(json::string(asked, "document_id"), "doc-1") << asked.dump();
    EXPECT_EQ(asked.value("page_no", 0), 1) << asked.dump();
    EXPECT_EQ(json::string(asked, "popup_id"), "pop-1") << asked.dump();

    // The answer window shows the server's answer.
    EXPECT_TRUE(DesktopSession::pumpUntil(
        [] { return ProgramWindows::pageText().find("가속도예요") != std::string::npos; }, 15))
        << ProgramWindows::pageText() << log();
    const auto windows = ProgramWindows::all();
    ASSERT_FALSE(windows.empty()) << log();
    screenshot(windows[0].place, "answer");

    // A follow-up, typed into the window's input and sent with Return, goes into the same thread.
    ASSERT_TRUE(ProgramWindows::click(windows[0], "text", ""))
        << ::testing::PrintToString(windows[0].texts());
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
    screenshot(windows[0].place, "follow-up");
    EXPECT_EQ(terminate(), 0) << log();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace parlendo::testing
