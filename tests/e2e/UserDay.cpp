#include "UserDay.h"

#include "Screenshot.h"
#include "TestCertificate.h"
#include "foundation/AppBundle.h"
#include "foundation/Json.h"
#include "foundation/LibsecretKeychain.h"
#include "shell/FirstRunNotice.h"

#include <atspi/atspi.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <regex>

namespace parlendo::testing {

namespace {

constexpr unsigned leftAlt = 64;
constexpr unsigned leftControl = 37;
constexpr unsigned leftShift = 50;

// Walks the accessible tree of process `pid` once: a GTK application builds its tree the first time
// it is asked, which costs it a second or more. A user's own desktop has long asked every
// application; the program's reading budget is made for that.
void warmAccessibility(int pid) {
    static const bool ready = atspi_init() >= 0;
    (void)ready;
    std::function<void(AtspiAccessible*, int&)> walk = [&](AtspiAccessible* node, int& budget) {
        if (--budget < 0) {
            return;
        }
        g_free(atspi_accessible_get_name(node, nullptr));
        const gint count = atspi_accessible_get_child_count(node, nullptr);
        for (gint i = 0; i < count; ++i) {
            if (AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr)) {
                walk(child, budget);
                g_object_unref(child);
            }
        }
    };
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app == nullptr) {
            continue;
        }
        if (static_cast<int>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
            int budget = 300;
            walk(app, budget);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
}

std::string scenarioName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info != nullptr ? info->name() : "scenario";
}

}  // namespace

std::string outputPath(const std::string& name) {
    return std::string(PARLENDO_TEST_OUTPUT_DIR) + "/" + name;
}

void appendRow(const std::string& name, const std::string& header, const std::string& row) {
    std::filesystem::create_directories(PARLENDO_TEST_OUTPUT_DIR);
    const auto path = outputPath(name);
    const bool fresh = !std::filesystem::exists(path);
    std::ofstream out(path, std::ios::app);
    if (fresh) {
        out << header << "\n";
    }
    out << row << "\n";
}

void UserDay::SetUp() {
    if (!DesktopSession::available()) {
        GTEST_SKIP() << "needs the private desktop: run under scripts/with-session.sh";
    }
    DesktopSession::ensure();
    started_ = std::chrono::steady_clock::now();
    char pattern[] = "/tmp/parlendo-e2e-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    run_ = std::make_unique<ProgramRun>(folder_, PARLENDO_PROGRAM);
    run_->printTo(folder_ / "program.out");
    watcher_ = std::make_unique<FakeStatusWatcher>();
    const std::string host = TestCertificate::stubHost;
    const std::string project = host.substr(0, host.find('.'));
    std::ofstream(profileFile()) << Json{
        {"schema_version", 1},
        {"profile_id", "parlendo-e2e"},
        {"project_id", project},
        {"supabase_url", "https://" + host},
        {"public_key_kind", "publishable"},
        {"public_key", "sb_publishable_e2e_loopback_stub_0000"},
        {"embedding_enabled", false},
        {"dictionary_route", "rpc_only"},
        {"deployment_kind",
         "synthetic"}}.dump();
    // The applications the program tells apart by their desktop entries: the test window, and the
    // test window dressed as a browser.
    const auto applications = folder_ / "data" / "applications";
    std::filesystem::create_directories(applications);
    for (const auto& [id, wmClass] : {std::pair{"org.parlendo.TestWindow", "ParlendoTestWindow"},
                                      std::pair{"firefox", "ParlendoTestBrowser"}}) {
        std::ofstream(applications / (std::string(id) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=" << id
            << "\nExec=true\nStartupWMClass=" << wmClass << "\n";
    }
    // Nothing kept from an earlier scenario: no login, no notice read.
    LibsecretKeychain().remove("local.parlendo.mac", "refresh_token");
}

void UserDay::TearDown() {
    if (pid > 0 && ::kill(pid, 0) == 0) {
        peakKiB_ = std::max(peakKiB_, residentKiB("VmHWM:"));
        ::kill(pid, SIGTERM);
        ProgramRun::wait(pid, 20);
    }
    if (run_) {
        recordFigures();
    }
    run_.reset();
    watcher_.reset();
    if (!folder_.empty()) {
        const char* keep = std::getenv("PARLENDO_E2E_KEEP_LOGS");
        if (HasFailure() || (keep != nullptr && std::string(keep) == "1")) {
            // What the program logged, for whoever reads the failure (or asked for it).
            std::filesystem::create_directories(PARLENDO_TEST_OUTPUT_DIR);
            std::error_code ignored;
            for (const char* name : {"app.log", "program.out"}) {
                const auto from =
                    std::string(name) == "app.log" ? folder_ / "logs" / name : folder_ / name;
                std::filesystem::copy_file(from, outputPath(scenarioName() + "-" + name),
                                           std::filesystem::copy_options::overwrite_existing,
                                           ignored);
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    LibsecretKeychain().remove("local.parlendo.mac", "refresh_token");
}

std::map<std::string, std::string> UserDay::stubEnvironment() const {
    return {{"PARLENDO_PROFILE", profileFile().string()},
            {"PARLENDO_CONNECT_TO", std::string(TestCertificate::stubHost) +
                                        ":443:127.0.0.1:" + std::to_string(backend.stub.port())},
            {"PARLENDO_CA_FILE", StubBackend::caFile()},
            {"PARLENDO_STALL_WATCH", "1"},
            {"PARLENDO_WINDOW_PROBE", "1"},
            {"PARLENDO_LOG_RAW", "1"}};
}

void UserDay::keepSignedIn() {
    const std::string token = backend.signedInRefreshToken();
    ASSERT_FALSE(token.empty());
    LibsecretKeychain keychain;
    keychain.remove("local.parlendo.mac", "refresh_token");
    ASSERT_EQ(keychain.add("local.parlendo.mac", "refresh_token", token), 0);
}

void UserDay::noticeRead() {
    const auto notice =
        FirstRunNotice::read(AppBundle::main().resource("approved_notice_ko", "md"));
    ASSERT_TRUE(
        FirstRunState(run_->dataRoot()).acknowledge(FirstRunNotice::fingerprint(notice), 0));
}

pid_t UserDay::launch(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& extra) {
    auto environment = stubEnvironment();
    for (const auto& [key, value] : extra) {
        environment[key] = value;
    }
    const pid_t started = run_->start(arguments, environment);
    if (pid <= 0 || ::kill(pid, 0) != 0) {
        pid = started;
    }
    return started;
}

bool UserDay::waitSignedIn(double seconds) {
    return waitForLog("[account] restore ok", seconds) &&
           waitForLog("[timing] startup status_icon", seconds);
}

std::optional<StatusMenuReader> UserDay::menu(double seconds) {
    if (!DesktopSession::pumpUntil([&] { return !watcher_->items().empty(); }, seconds)) {
        return std::nullopt;
    }
    StatusMenuReader reader(watcher_->items().back());
    if (!DesktopSession::pumpUntil([&] { return !reader.lines().empty(); }, seconds)) {
        return std::nullopt;
    }
    return reader;
}

bool UserDay::endSession() {
    peakKiB_ = std::max(peakKiB_, residentKiB("VmHWM:"));
    return ::kill(pid, SIGTERM) == 0;
}

std::optional<int> UserDay::terminate(double seconds) {
    if (!endSession()) {
        return std::nullopt;
    }
    return ProgramRun::wait(pid, seconds);
}

void UserDay::screenshot(const GdkRectangle& area, const std::string& step) {
    DesktopSession::pumpFor(0.3);
    const int drawn = saveScreenshot(area, outputPath(scenarioName() + "-" + step + ".png"));
    EXPECT_GT(drawn, 100) << "blank screenshot " << step;
}

void UserDay::screenshotWindowsShowing(const std::string& text, const std::string& step) {
    int n = 0;
    for (const auto& window : ProgramWindows::all()) {
        if (window.shows(text)) {
            screenshot(window.place, step + (n == 0 ? "" : "-" + std::to_string(n)));
            ++n;
        }
    }
    EXPECT_GT(n, 0) << "no window shows " << text;
}

size_t UserDay::logCount(const std::string& part) const {
    const std::string text = log();
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

long UserDay::residentKiB(const char* field) const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string name = field;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name)) {
            return std::stol(line.substr(name.size()));
        }
    }
    return 0;
}

void UserDay::recordFigures() {
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    // Stalls the program measured on its own main loop.
    const std::string text = log();
    const std::regex stall(R"(main_loop_stall ms=(\d+))");
    int stalls = 0;
    long longest = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), stall);
         it != std::sregex_iterator(); ++it) {
        ++stalls;
        longest = std::max(longest, std::stol((*it)[1]));
    }
    char line[256];
    std::snprintf(line, sizeof line, "%s\t%.1f\t%.1f\t%d\t%ld", scenarioName().c_str(), wall,
                  static_cast<double>(peakKiB_) / 1024.0, stalls, longest);
    appendRow("figures.tsv", "scenario\twall_s\tpeak_rss_mib\tstalls_over_50ms\tlongest_stall_ms",
              line);
    std::printf("[figures] %s\n", line);
    RecordProperty("wall_s", std::to_string(wall));
    RecordProperty("peak_rss_kib", std::to_string(peakKiB_));
    RecordProperty("stalls_over_50ms", std::to_string(stalls));
    RecordProperty("longest_stall_ms", std::to_string(longest));
}

std::unique_ptr<TestWindow> readerWindow(const std::string& title, const std::string& label,
                                         const std::string& view, const std::string& address) {
    std::vector<std::string> args = {"--title", title};
    if (!address.empty()) {
        args.insert(args.end(), {"--class", "ParlendoTestBrowser", "--address", address});
    }
    if (!label.empty()) {
        args.insert(args.end(), {"--label", label});
    }
    if (!view.empty()) {
        args.insert(args.end(), {"--view", view});
    }
    auto window = TestWindow::inFront(args);
    const bool selected = !label.empty()
                              ? window->command("select-label 0 " + std::to_string(label.size()))
                              : window->command("select-view 0 " + std::to_string(view.size()));
    EXPECT_TRUE(selected);
    // The first key of a session and the first read of an application cost the bus a moment.
    DesktopSession::tap({leftShift});
    warmAccessibility(window->pid());
    DesktopSession::pumpFor(0.3);
    return window;
}

void lookupChord() {
    DesktopSession::key(leftAlt, true);
    DesktopSession::key(leftControl, true);
    DesktopSession::key(leftControl, false);
    DesktopSession::key(leftAlt, false);
}

}  // namespace parlendo::testing
