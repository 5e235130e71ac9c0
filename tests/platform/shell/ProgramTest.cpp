#include "DesktopSession.h"
#include "ProgramRun.h"
#include "Screenshot.h"
#include "ShellDesktop.h"
#include "StatusMenuReader.h"
#include "foundation/AppBundle.h"
#include "shell/FirstRunNotice.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

namespace parlendo {
namespace {

using testing::FakeStatusWatcher;
using testing::ProgramRun;
using testing::ShellDesktop;

// The program started as a user starts it, on the test's X display and session bus.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShellDesktop::ready())
            << "needs an X display: run under scripts/with-session.sh";
        char pattern[] = "/tmp/parlendo-program-XXXXXX";
        folder = ::mkdtemp(pattern);
        run = std::make_unique<ProgramRun>(folder, PARLENDO_PROGRAM);
    }
    void TearDown() override {
        run.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // The notice already acknowledged, so that no window opens at start.
    void acknowledgeNotice() {
        const auto notice =
            FirstRunNotice::read(AppBundle::main().resource("approved_notice_ko", "md"));
        ASSERT_TRUE(
            FirstRunState(run->dataRoot()).acknowledge(FirstRunNotice::fingerprint(notice), 0));
    }

    // Sends SIGTERM and expects a clean end.
    void terminate(pid_t pid) {
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        EXPECT_EQ(ProgramRun::wait(pid, 15.0), 0) << run->log();
    }

    std::filesystem::path folder;
    std::unique_ptr<ProgramRun> run;
};

// The files a process has mapped, from /proc.
std::string maps(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/maps");
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

// The topmost shown top-level window whose title starts with `title` (or is `title`, when
// `whole`): its id and area.
struct ShownWindow {
    unsigned long id = 0;
    GdkRectangle area{0, 0, 0, 0};
};
std::optional<ShownWindow> shownWindowTitled(const std::string& title, bool whole = false) {
    GdkDisplay* gdk = gdk_display_get_default();
    Display* display = gdk_x11_display_get_xdisplay(gdk);
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::optional<ShownWindow> found;
    // Bottom to top, as the window manager stacks its windows: the last one found lies on top.
    // A window may go while it is read.
    gdk_x11_display_error_trap_push(gdk);
    for (const unsigned long window : testing::DesktopSession::clientWindows()) {
        XWindowAttributes attributes;
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowAttributes(display, window, &attributes) == 0 ||
            attributes.map_state != IsViewable ||
            XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count,
                               &after, &data) != Success ||
            data == nullptr) {
            continue;
        }
        const std::string shown(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (whole ? shown == title : shown.starts_with(title)) {
            int x = 0;
            int y = 0;
            Window child = 0;
            XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y,
                                  &child);
            found = ShownWindow{window, {x, y, attributes.width, attributes.height}};
        }
    }
    gdk_x11_display_error_trap_pop_ignored(gdk);
    return found;
}

TEST_F(ProgramTest, RegistersItsStatusIconWithTheDesktopsStatusArea) {
    FakeStatusWatcher watcher;
    ASSERT_TRUE(watcher.owned());
    const pid_t pid = run->start();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(run->waitForLog("[menu] 상태 아이콘 등록됨")) << run->log();
    EXPECT_TRUE(run->waitForLog("[timing] startup status_icon ms_exec="));
    ASSERT_FALSE(watcher.items().empty());
    EXPECT_TRUE(run->log().find("호스트가 없음") == std::string::npos);
    EXPECT_TRUE(run->waitForLog("[timing] startup launched ms_exec="));

    // The panel asks before it shows the menu and tells it opened: the program hears one opening.
    const auto openings = [&] {
        const std::string log = run->log();
        size_t n = 0;
        for (size_t at = log.find("[menu] opened"); at != std::string::npos;
             at = log.find("[menu] opened", at + 1)) {
            ++n;
        }
        return n;
    };
    testing::StatusMenuReader menu(watcher.items().front());
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    EXPECT_EQ(openings(), 0u);
    menu.opening();
    menu.event("opened");
    EXPECT_TRUE(run->waitForLog("[menu] opened")) << run->log();
    // Both were handled before the panel's calls returned: a second count follows the first.
    EXPECT_FALSE(ShellDesktop::pumpUntil([&] { return openings() > 1; }, 1.0)) << run->log();
    // Closed and opened again, by a panel that only tells.
    menu.event("closed");
    menu.event("opened");
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return openings() == 2u; }, 10.0)) << run->log();
    terminate(pid);
}

TEST_F(ProgramTest, ASecondLaunchHandsOverToTheFirstAndEnds) {
    const pid_t first = run->start();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(run->waitForLog("[app] 시작 · 버전=")) << run->log();
    // Without a status area the program runs without an icon and says so.
    EXPECT_TRUE(run->waitForLog("[menu] 🔴 상태 표시 영역(StatusNotifier) 호스트가 없음"));
    ASSERT_TRUE(run->waitForLog("[install] build="));

    const pid_t second = run->start();
    EXPECT_EQ(ProgramRun::wait(second, 10.0), 0);
    EXPECT_TRUE(run->waitForLog("이미 실행 중(pid=" + std::to_string(first) +
                                ") — 그쪽에 관리 창을 열라고 알리고 종료"))
        << run->log();
    EXPECT_TRUE(run->waitForLog("[app] 다시 열기 source=second_launch — 관리 창을 연다"));
    // The hand-over builds nothing: one profile line, one install check, one first instance.
    const std::string log = run->log();
    size_t profiles = 0;
    for (size_t at = log.find("프로필 로드됨"); at != std::string::npos;
         at = log.find("프로필 로드됨", at + 1)) {
        ++profiles;
    }
    EXPECT_EQ(profiles, 1u);

    // A link handed to a second launch reaches the first instance's account module.
    EXPECT_EQ(ProgramRun::wait(run->start({"parlendo://auth-callback#type=signup"}), 10.0), 0);
    EXPECT_TRUE(run->waitForLog("[account] link opened host=auth-callback kind=email_confirmed"))
        << run->log();
    EXPECT_EQ(::kill(first, 0), 0);
    terminate(first);
}

// The libraries that each thread of a process opened, as the loader's audit module wrote them.
std::map<std::string, std::vector<long>> openedBy(const std::filesystem::path& file, pid_t pid) {
    std::map<std::string, std::vector<long>> out;
    std::ifstream lines(file);
    long process = 0;
    long thread = 0;
    std::string path;
    while (lines >> process >> thread >> path) {
        if (process == pid) {
            out[std::filesystem::path(path).filename().string()].push_back(thread);
        }
    }
    return out;
}

TEST_F(ProgramTest, WithoutAStatusAreaASecondLaunchOpensTheManageWindowWhereCtrlQQuits) {
    acknowledgeNotice();
    const auto opens = folder / "opens.txt";
    const pid_t first = run->start({}, {{"LD_AUDIT", PARLENDO_TEST_LIBRARY_OPENS},
                                        {"PARLENDO_TEST_LIBRARY_OPENS_FILE", opens.string()}});
    ASSERT_GT(first, 0);
    ASSERT_TRUE(run->waitForLog("[menu] 🔴 상태 표시 영역(StatusNotifier) 호스트가 없음"));
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    // Signed out, the program idles without the web engine.
    ASSERT_TRUE(run->waitForLog("[timing] startup session_restored")) << run->log();
    EXPECT_FALSE(ShellDesktop::pumpUntil(
        [&] { return maps(first).find("libwebkit2gtk") != std::string::npos; }, 2.0));
    EXPECT_EQ(ProgramRun::wait(run->start(), 10.0), 0);
    ASSERT_TRUE(run->waitForLog("[manage] 관리 화면 로드됨", 20.0)) << run->log();
    // The windows that draw with WebKit come from their module, which a worker opened with
    // everything it brings: mapping WebKit holds the thread that does it for tens of
    // milliseconds, which the main loop must not wait for.
    EXPECT_NE(run->log().find("[app] 화면 모듈 불러옴"), std::string::npos);
    EXPECT_NE(maps(first).find("libwebkit2gtk"), std::string::npos);
    const auto opened = openedBy(opens, first);
    for (const std::string library : {"parlendo-webviews.so", "libwebkit2gtk-4.1.so.0"}) {
        const auto threads = opened.find(library);
        ASSERT_NE(threads, opened.end()) << library << " was not opened";
        for (const long thread : threads->second) {
            EXPECT_NE(thread, first) << library << " was opened on the main thread";
        }
    }

    // The manage window lies in the middle of the screen.
    Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    XTestFakeMotionEvent(display, -1, width / 2, height / 2, CurrentTime);
    XFlush(display);
    // The keys go to a window of the program.
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] {
        return testing::DesktopSession::windowPid(testing::DesktopSession::activeWindow()) == first;
    }));
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode q = XKeysymToKeycode(display, XK_q);
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, q, True, CurrentTime);
    XTestFakeKeyEvent(display, q, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    XFlush(display);
    EXPECT_EQ(ProgramRun::wait(first, 15.0), 0) << run->log();
    EXPECT_NE(run->log().find("[app] 종료"), std::string::npos);
}

TEST_F(ProgramTest, InstalledWithoutItsWebViewsModuleItKeepsRunningAndSaysWhy) {
    acknowledgeNotice();
    // The program alone, without the module that is built beside it.
    const auto alone = folder / "bin" / "parlendo";
    std::filesystem::create_directories(alone.parent_path());
    std::filesystem::copy_file(PARLENDO_PROGRAM, alone);
    ::setenv("PARLENDO_PROGRAM_UNDER_TEST", alone.c_str(), 1);
    const pid_t pid = run->start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    // Signed out, nothing needs a web view until the manage window is asked for.
    ASSERT_TRUE(run->waitForLog("[timing] startup session_restored")) << run->log();
    EXPECT_FALSE(ShellDesktop::pumpUntil(
        [&] { return run->log().find("화면 모듈") != std::string::npos; }, 2.0))
        << run->log();
    EXPECT_EQ(ProgramRun::wait(run->start(), 10.0), 0);
    ::unsetenv("PARLENDO_PROGRAM_UNDER_TEST");
    ASSERT_TRUE(run->waitForLog("[app] 🔴 화면 모듈을 불러오지 못함", 20.0)) << run->log();

    std::optional<ShownWindow> alert;
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] {
        alert = shownWindowTitled("PARLENDO");
        return alert.has_value();
    }));
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] {
        return testing::saveScreenshot(alert->area,
                                       ShellDesktop::outputPath("no-webviews-alert.png")) > 300;
    }));
    EXPECT_EQ(::kill(pid, 0), 0);
    terminate(pid);
}

// Each window the status menu opens comes above the application the user is working in and
// takes the keyboard, from a panel that stamps its clicks with their time and from one that
// sends none; no window of the program holds the keyboard beneath another application's.
TEST_F(ProgramTest, WindowsChosenFromTheMenuComeAboveTheApplicationInFront) {
    using testing::DesktopSession;
    acknowledgeNotice();
    FakeStatusWatcher watcher;
    const pid_t pid = run->start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(run->waitForLog("[menu] 상태 아이콘 등록됨")) << run->log();
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    testing::StatusMenuReader menu(watcher.items().front());
    // What the start opened by itself is closed, one window after the other: signed out, the
    // accessibility window where the desktop's accessibility is off, then the login window.
    ASSERT_TRUE(run->waitForLog("손쉬운사용=")) << run->log();
    std::vector<std::string> opened{"PARLENDO"};
    if (run->log().find("손쉬운사용=false") != std::string::npos) {
        opened.insert(opened.begin(), "PARLENDO 권한 설정");
    }
    for (const auto& title : opened) {
        std::optional<ShownWindow> shown;
        ASSERT_TRUE(ShellDesktop::pumpUntil([&] {
            shown = shownWindowTitled(title, true);
            return shown.has_value();
        })) << title;
        DesktopSession::close(shown->id);
        ASSERT_TRUE(ShellDesktop::pumpUntil([&] {
            const auto still = shownWindowTitled(title, true);
            return !still || still->id != shown->id;
        })) << title;
    }
    auto editor = testing::TestWindow::inFront({"--title", "편집기"});
    ASSERT_NE(editor->xid, 0u);

    struct Choice {
        std::string item;
        std::string title;
        bool stamped;
    };
    for (const auto& choice :
         std::vector<Choice>{{"로그인 / 회원가입", "PARLENDO", true},
                             {"개인정보 안내 보기", "PARLENDO 안내", false},
                             {"이 컴퓨터의 데이터 지우기", "PARLENDO", true},
                             {"관리 창 열기", "PARLENDO", false},
                             {"⚠️ 접근성 권한", "PARLENDO 권한", true}}) {
        SCOPED_TRACE(choice.item);
        ASSERT_TRUE(DesktopSession::activate(editor->xid));
        const auto line = menu.find(choice.item);
        if (!line && choice.item.starts_with("⚠️")) {
            continue;  // the desktop's accessibility is on: the item only says so
        }
        ASSERT_TRUE(menu.click(choice.item, choice.stamped ? DesktopSession::serverTime() : 0))
            << ::testing::PrintToString(menu.shown());
        std::optional<ShownWindow> shown;
        ASSERT_TRUE(ShellDesktop::pumpUntil([&] {
            shown = shownWindowTitled(choice.title);
            return shown.has_value();
        }));
        EXPECT_TRUE(DesktopSession::cameAbove(shown->id, editor->xid))
            << "active=" << DesktopSession::activeWindow() << " window=" << shown->id
            << " above=" << DesktopSession::stackedAbove(shown->id, editor->xid);
        DesktopSession::close(shown->id);
        EXPECT_TRUE(ShellDesktop::pumpUntil(
            [&] { return shownWindowTitled(choice.title).has_value() == false; }, 10.0));
    }
    terminate(pid);
}

TEST_F(ProgramTest, AnInstanceThatCannotReachTheBusStartsNoSecondCapture) {
    const pid_t first = run->start();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    const pid_t second =
        run->start({}, {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "no-bus").string()}});
    EXPECT_EQ(ProgramRun::wait(second, 10.0), 0);
    EXPECT_TRUE(
        run->waitForLog("이미 실행 중인 것 같지만 연결할 수 없음 — 캡처를 시작하지 않고 종료"))
        << run->log();
    EXPECT_EQ(::kill(first, 0), 0);
    terminate(first);
}

TEST_F(ProgramTest, SigtermRunsTheTerminationTasksAndEndsCleanly) {
    // Corrupt records from an earlier run are reported and replaced, never fatal.
    std::filesystem::create_directories(run->dataRoot());
    std::ofstream(run->dataRoot() / "install_record.json") << "{\"version\": 7";
    std::ofstream(run->dataRoot() / "notice_seen.json") << "\x01\x02";
    std::filesystem::create_directories(folder / "config" / "autostart");
    std::ofstream(folder / "config" / "autostart" / "parlendo.desktop") << "garbage";

    const pid_t pid = run->start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(run->waitForLog("[install] build=")) << run->log();
    EXPECT_TRUE(run->waitForLog("change=first_run"));
    EXPECT_TRUE(run->waitForLog("[install] 기록을 읽지 못함"));
    EXPECT_TRUE(run->waitForLog("[notice] shown sha="));
    terminate(pid);
    const std::string log = run->log();
    EXPECT_NE(log.find("[shutdown] 끌 때 할 일 — 접근성 되돌리기"), std::string::npos) << log;
    EXPECT_NE(log.find("[shutdown] 끌 때 할 일 — 다시 시작 도우미(요청했을 때만)"),
              std::string::npos);
    EXPECT_NE(log.find("[app] 종료"), std::string::npos);
    std::ifstream record(run->dataRoot() / "install_record.json");
    std::string text((std::istreambuf_iterator<char>(record)), {});
    EXPECT_TRUE(text.starts_with("{\"build\":")) << text;
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

// Resident memory of a process in kB, from /proc.
long residentKB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Not a check: the figures of a start, for the build named by PARLENDO_PROGRAM_UNDER_TEST (run
// with --gtest_also_run_disabled_tests). Prints the start-up marks and the idle resident memory
// after ten seconds with no window open.
TEST_F(ProgramTest, DISABLED_MeasureStartAndIdleMemory) {
    FakeStatusWatcher watcher;
    // The notice already acknowledged, so that no window opens.
    const auto notice =
        FirstRunNotice::read(AppBundle::main().resource("approved_notice_ko", "md"));
    ASSERT_TRUE(FirstRunState(run->dataRoot()).acknowledge(FirstRunNotice::fingerprint(notice), 0));

    const pid_t pid = run->start();
    ASSERT_TRUE(run->waitForLog("[timing] startup status_icon"));
    ShellDesktop::pumpFor(10.0);
    const long kb = residentKB(pid);
    const std::string text = maps(pid);
    std::printf("%s\nidle_rss_kb=%ld webkit_mapped=%d gl_driver_mapped=%d\n", run->log().c_str(),
                kb, text.find("libwebkit2gtk") != std::string::npos,
                text.find("_dri.so") != std::string::npos);
    terminate(pid);
}

}  // namespace
}  // namespace parlendo
