// What the program costs while it waits in the panel, side by side with a desktop dictionary
// (goldendict) and a bare GTK program with a status icon, on the same private desktop: the resident
// and proportional memory of every process after a minute of idling, signed out, signed in, with
// an AI popup on, and after the manage window showed a large word book and was closed.
//
// A measurement, not a check: disabled, run by scripts/measure-memory.sh, which installs
// goldendict first. Each case appends its rows to memory.tsv in the output folder; the idle time
// is PARLENDO_MEMORY_IDLE_SECONDS (60 by default).
#include "CaptureSteps.h"
#include "TempDir.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace parlendo::testing {
namespace {

#ifndef PARLENDO_BARE_TRAY
#define PARLENDO_BARE_TRAY ""
#endif

// A field of a /proc file in KiB ("Rss:", "Pss:", "PPid:"); 0 when it is not there.
long procField(pid_t pid, const char* file, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(name)) {
            return std::atol(line.c_str() + name.size());
        }
    }
    return 0;
}

std::string processName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// `root` and every process below it.
std::vector<pid_t> processTree(pid_t root) {
    std::vector<pid_t> tree{root};
    for (size_t at = 0; at < tree.size(); ++at) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            const pid_t pid = std::atoi(name.c_str());
            if (procField(pid, "status", "PPid:") == tree[at]) {
                tree.push_back(pid);
            }
        }
    }
    return tree;
}

double idleSeconds() {
    const char* value = std::getenv("PARLENDO_MEMORY_IDLE_SECONDS");
    return value != nullptr ? std::atof(value) : 60.0;
}

// Appends the rows of every process under `root` and their sum to memory.tsv, and prints them.
void record(const std::string& state, pid_t root) {
    std::filesystem::create_directories(PARLENDO_TEST_OUTPUT_DIR);
    const auto path = outputPath("memory.tsv");
    const bool fresh = !std::filesystem::exists(path);
    std::ofstream out(path, std::ios::app);
    if (fresh) {
        out << "state\tprocess\trss_mib\tpss_mib\n";
    }
    double rss = 0;
    double pss = 0;
    std::ostringstream rows;
    for (const pid_t pid : processTree(root)) {
        const double r = procField(pid, "smaps_rollup", "Rss:") / 1024.0;
        const double p = procField(pid, "smaps_rollup", "Pss:") / 1024.0;
        char line[256];
        std::snprintf(line, sizeof line, "%s\t%s\t%.1f\t%.1f\n", state.c_str(),
                      processName(pid).c_str(), r, p);
        rows << line;
        rss += r;
        pss += p;
    }
    char total[256];
    std::snprintf(total, sizeof total, "%s\tall\t%.1f\t%.1f\n", state.c_str(), rss, pss);
    rows << total;
    out << rows.str();
    std::printf("[memory]\n%s", rows.str().c_str());
}

// Starts a program of the desktop that is not ours, with its home in `home`; its pid.
pid_t startOther(const std::vector<std::string>& command, const std::filesystem::path& home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
        std::vector<char*> argv;
        for (const auto& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    if (!ProgramRun::wait(pid, 10)) {
        ::kill(pid, SIGKILL);
        ProgramRun::wait(pid, 5);
    }
}

class MemoryFigures : public CaptureSteps {
  protected:
    // The program started as the user left it, idle for the measuring time, then measured.
    void idleAndRecord(const std::string& state) {
        DesktopSession::pumpFor(idleSeconds());
        ASSERT_EQ(::kill(pid, 0), 0) << "the program ended\n" << log();
        record(state, pid);
    }
};

TEST_F(MemoryFigures, DISABLED_SignedOut) {
    ASSERT_NO_FATAL_FAILURE(noticeRead());
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[timing] startup status_icon", 20)) << log();
    idleAndRecord("signed_out");
}

TEST_F(MemoryFigures, DISABLED_SignedIn) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    idleAndRecord("signed_in");
}

TEST_F(MemoryFigures, DISABLED_AIPopupOn) {
    backend.projects.addPopup(backend.projects.addDrive("물리"), "설명");
    ASSERT_NO_FATAL_FAILURE(startReading());
    ASSERT_TRUE(waitForLog("[ai_talk] 답 창 준비", 20)) << log();
    idleAndRecord("ai_popup_on");
}

TEST_F(MemoryFigures, DISABLED_AfterALargeWordBookWasShownAndClosed) {
    backend.library->populate(2000, 20000, 200000);
    ASSERT_NO_FATAL_FAILURE(startReading());
    ASSERT_TRUE(panel->click("관리 창 열기")) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    ASSERT_TRUE(waitForLog("[manage] words_in_scope ok=true", 60)) << log();
    DesktopSession::pumpFor(3);
    const auto windows = ProgramWindows::all();
    ASSERT_EQ(windows.size(), 1u) << log();
    ProgramWindows::close(windows[0]);
    ASSERT_TRUE(waitForLog("[manage] 관리 창 닫힘")) << log();
    idleAndRecord("manage_closed");
}

TEST_F(MemoryFigures, DISABLED_Goldendict) {
    TempDir home;
    // Its first start writes its settings; the second starts to the panel, as a user keeps it.
    pid_t dictionary = startOther({"goldendict"}, home.path());
    ASSERT_GT(dictionary, 0);
    DesktopSession::pumpFor(5);
    stop(dictionary);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
        if (entry.path().filename() != "config") {
            continue;
        }
        std::ifstream in(entry.path());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const char* key : {"enableTrayIcon", "startToTray", "closeToTray"}) {
            text = std::regex_replace(text, std::regex(std::string("<") + key + ">0<"),
                                      std::string("<") + key + ">1<");
        }
        std::ofstream(entry.path()) << text;
    }
    dictionary = startOther({"goldendict"}, home.path());
    DesktopSession::pumpFor(idleSeconds());
    record("goldendict", dictionary);
    stop(dictionary);
}

TEST_F(MemoryFigures, DISABLED_BareGtkTray) {
    TempDir home;
    const pid_t tray = startOther({PARLENDO_BARE_TRAY}, home.path());
    ASSERT_GT(tray, 0);
    DesktopSession::pumpFor(idleSeconds());
    ASSERT_EQ(::kill(tray, 0), 0);
    record("bare_gtk_tray", tray);
    stop(tray);
}

}  // namespace
}  // namespace parlendo::testing
