#pragma once

#include "DesktopSession.h"
#include "ProgramRun.h"
#include "ProgramWindows.h"
#include "ScriptedBackend.h"
#include "StatusMenuReader.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// One scenario of a user's day: the scripted backend on the loopback, the real `parlendo` built
// beside the tests, started on the private desktop (Xvfb, D-Bus, AT-SPI, Secret Service) with its
// folders in a temporary folder, pointed at the backend through the development profile, a
// connect-to override and the stub's certificate, and watched the way the user and the panel
// see it: its status menu over D-Bus, its windows through its window probe and on the screen,
// its log.
//
// Every scenario leaves its figures (wall time, the program's peak resident memory, main-loop
// stalls over 50 ms) in the output folder's figures.tsv, and its screenshots beside it.
class UserDay : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The development profile the program loads: a synthetic project whose host the connect-to
    // override sends to the stub.
    std::filesystem::path profileFile() const { return folder_ / "profile.json"; }
    std::map<std::string, std::string> stubEnvironment() const;

    // The login a sign-in leaves in the keychain, for the scripted account.
    void keepSignedIn();
    // The first-run notice already read, so that no window opens at start.
    void noticeRead();

    // Starts the program (`extra` adds or replaces environment variables); its pid.
    pid_t launch(const std::vector<std::string>& arguments = {},
                 const std::map<std::string, std::string>& extra = {});
    // Waits until the program has started, shown its status icon and restored the login.
    bool waitSignedIn(double seconds = 20);
    // The status menu the panel shows (once the icon registered).
    std::optional<StatusMenuReader> menu(double seconds = 10);
    // SIGTERM, as the session's end sends it; whether it was sent.
    bool endSession();
    // SIGTERM and the wait for the end: the exit status, nothing when it did not end.
    std::optional<int> terminate(double seconds = 20);

    // Saves the screen inside `area` as <scenario>-<step>.png and expects something drawn there.
    void screenshot(const GdkRectangle& area, const std::string& step);
    // Each showing window of the program whose texts hold `text`, saved as a screenshot.
    void screenshotWindowsShowing(const std::string& text, const std::string& step);

    // The program's state folder ($XDG_DATA_HOME/PARLENDO).
    std::filesystem::path dataRoot() const { return run_->dataRoot(); }
    // How many status items registered with the panel so far (one per start of the program).
    size_t statusItems() const { return watcher_->items().size(); }

    // The program's log and a wait for a part of it.
    std::string log() const { return run_->log(); }
    bool waitForLog(const std::string& part, double seconds = 15) const {
        return run_->waitForLog(part, seconds);
    }
    size_t logCount(const std::string& part) const;

    // The program's resident memory now and at its peak, in KiB (from /proc).
    long residentKiB(const char* field = "VmRSS:") const;

    ScriptedBackend backend;
    pid_t pid = -1;

  private:
    void recordFigures();

    std::filesystem::path folder_;
    std::unique_ptr<ProgramRun> run_;
    std::unique_ptr<FakeStatusWatcher> watcher_;
    std::chrono::steady_clock::time_point started_;
    long peakKiB_ = 0;
};

// The front application's text selected: a test window with `title` showing `label` (a word) or
// `view` (a passage), the text selected and the window in front. With an `address` it is a
// browser showing that page.
std::unique_ptr<TestWindow> readerWindow(const std::string& title, const std::string& label,
                                         const std::string& view = "",
                                         const std::string& address = "");

// The lookup chord as the keyboard sends it: Alt and Control down together, then up.
void lookupChord();

// The output folder of the scenarios.
std::string outputPath(const std::string& name);
// Appends a line to the table `name` of the output folder, which starts with `header` when new.
void appendRow(const std::string& name, const std::string& header, const std::string& row);

}  // namespace parlendo::testing
