// A reading day in the applications people read in, as Debian installs them: two browsers, two
// terminals, an editor, a word processor and a PDF viewer, each started once beside the program.
// In each the user selects a word and then a sentence the way users do (a double and a triple
// click; the keyboard where the application shows nothing of its text to the accessibility
// bus), holds the chord and reads the cards, which are saved with the window's source; the
// user's clipboard is left as it was, and in a terminal the program running keeps running.
#include "ProgramWindows.h"
#include "ReadingApps.h"
#include "ScreenText.h"
#include "foundation/Json.h"
#include "lookup/SourceURL.h"

#include <X11/keysym.h>
#include <gtk/gtk.h>
#include <httplib.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <thread>
#include <utility>

namespace parlendo::testing {
namespace {

using ReadingAppsScenario = ReadingApps;

// A web page on the loopback, as a browser would load it from a site.
class PageServer {
  public:
    PageServer() {
        server_.Get("/fables.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                std::string("<!doctype html><html><head><meta charset=\"utf-8\">"
                            "<title>The fox and the dog - Fables</title></head><body>"
                            "<h1>Fables</h1><p>") +
                    ReadingApps::wordLine + "</p><p>" + ScriptedBackend::sentence +
                    "</p></body></html>",
                "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~PageServer() {
        server_.stop();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/fables.html"; }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

const std::string pageTitle = "The fox and the dog - Fables";

std::function<bool(const DesktopProgram::Window&)> titled(const std::string& part) {
    return [part](const DesktopProgram::Window& window) {
        return window.title.find(part) != std::string::npos;
    };
}

// Firefox ESR on `url` with a fresh profile in `profile` that opens the page and nothing else:
// no first-run pages, no updates, no reports, no other network.
std::unique_ptr<DesktopProgram> firefoxOn(const std::string& url,
                                          const std::filesystem::path& profile) {
    std::filesystem::create_directories(profile);
    std::ofstream(profile / "user.js")
        << "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
           "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
           "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
           "user_pref(\"trailhead.firstrun.didSeeAboutWelcome\", true);\n"
           "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
           "user_pref(\"datareporting.healthreport.uploadEnabled\", false);\n"
           "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
           "user_pref(\"app.update.enabled\", false);\n"
           "user_pref(\"app.normandy.enabled\", false);\n"
           "user_pref(\"extensions.update.enabled\", false);\n"
           "user_pref(\"browser.safebrowsing.malware.enabled\", false);\n"
           "user_pref(\"browser.safebrowsing.phishing.enabled\", false);\n"
           "user_pref(\"network.captive-portal-service.enabled\", false);\n"
           "user_pref(\"network.connectivity-service.enabled\", false);\n"
           "user_pref(\"browser.newtabpage.enabled\", false);\n"
           "user_pref(\"browser.tabs.warnOnClose\", false);\n";
    return std::make_unique<DesktopProgram>(
        std::vector<std::string>{"firefox-esr", "--no-remote", "--new-instance", "--profile",
                                 profile.string(), url},
        std::map<std::string, std::string>{{"MOZ_CRASHREPORTER_DISABLE", "1"}},
        profile.string() + ".out");
}

TEST_F(ReadingAppsScenario, FirefoxReadsThePageThroughItsParagraphs) {
    if (!installed("firefox-esr")) {
        return;
    }
    PageServer page;
    // Firefox lays its text out for the accessibility bus only once asked, so the first capture
    // in a Firefox just started is the first to ask where the word is. The word's place in the
    // window is learnt beforehand in a Firefox of its own, and in the one read it is
    // double-clicked there without asking.
    std::optional<GdkPoint> wordInWindow;
    {
        const auto measuring = firefoxOn(page.url(), documents / "firefox-measuring");
        const auto window = measuring->window(titled(pageTitle), 60);
        ASSERT_TRUE(window) << "firefox-esr showed no page";
        const auto word = settledScreenText(window->pid, ScriptedBackend::knownWord);
        ASSERT_TRUE(word) << "firefox-esr shows no \"" << ScriptedBackend::knownWord << "\"";
        const auto now = measuring->window(titled(pageTitle), 5);
        ASSERT_TRUE(now);
        wordInWindow = GdkPoint{word->x + word->width / 2 - now->area.x,
                                word->y + word->height / 2 - now->area.y};
    }
    const auto firefox = firefoxOn(page.url(), documents / "firefox");
    const auto window = firefox->window(titled(pageTitle), 60);
    ASSERT_TRUE(window) << "firefox-esr showed no page";
    auto app = byClicks("firefox-esr", window->pid, pageTitle, page.url());
    app.selectWord = [&firefox, pid = window->pid, point = *wordInWindow, first = true]() mutable {
        if (!std::exchange(first, false)) {
            clickText(pid, ScriptedBackend::knownWord, 2);
            return;
        }
        ASSERT_TRUE(DesktopSession::pumpUntil(
            [&] { return holdsText(pid, ScriptedBackend::knownWord); }, 20));
        const auto now = firefox->window(titled(pageTitle), 5);
        ASSERT_TRUE(now);
        clickAt(now->area.x + point.x, now->area.y + point.y, 2);
    };
    // The cards open right under the word and the sentence, where the page lays them out.
    app.selectionBox = [pid = window->pid](bool word) {
        return settledScreenText(pid,
                                 word ? ScriptedBackend::knownWord : ScriptedBackend::sentence);
    };
    read(app, *window);
}

TEST_F(ReadingAppsScenario, ChromiumReadsThePageThroughItsParagraphs) {
    if (!installed("chromium")) {
        return;
    }
    PageServer page;
    // The flags of a test run: no sandbox (the tests run as root in a container), no GPU, no
    // first-run pages, no network of its own, the password store in the profile. And the one a
    // user who reads with accessibility tools sets (in /etc/chromium.d/): Chromium shows its
    // pages to the accessibility bus only when asked to at start (README, Limits).
    DesktopProgram chromium({"chromium", "--no-sandbox", "--disable-gpu", "--no-first-run",
                             "--no-default-browser-check", "--disable-background-networking",
                             "--disable-component-update", "--disable-sync",
                             "--password-store=basic", "--force-renderer-accessibility",
                             "--user-data-dir=" + (documents / "chromium").string(), page.url()},
                            {}, documents / "chromium.out");
    const auto window = chromium.window(titled(pageTitle), 60);
    ASSERT_TRUE(window) << "chromium showed no page";
    read(byClicks("chromium", window->pid, pageTitle, page.url()), *window);
}

// A terminal showing the notes, printed by the job that then keeps running in the foreground.
struct TerminalJob {
    std::unique_ptr<DesktopProgram> terminal;
    std::optional<DesktopProgram::Window> window;

    // Starts the terminal with `arguments`, which end with its option that runs a command, and
    // waits for its window titled `title` and for the job to run.
    void start(std::vector<std::string> arguments, const std::filesystem::path& documents,
               const std::string& title) {
        const std::string name = arguments.front();
        arguments.insert(
            arguments.end(),
            {"sh", "-c", "cat '" + (documents / "notes.txt").string() + "'; exec sleep 600"});
        terminal = std::make_unique<DesktopProgram>(std::move(arguments),
                                                    std::map<std::string, std::string>{},
                                                    documents / (name + ".out"));
        window = terminal->window(titled(title), 30);
        ASSERT_TRUE(window) << name << " showed no window";
        ASSERT_TRUE(DesktopSession::pumpUntil([&] { return terminal->runs("sleep"); }, 10));
    }

    // The terminal is still open and its job still runs.
    void expectKept() const {
        EXPECT_TRUE(terminal->running()) << "the terminal ended";
        EXPECT_TRUE(terminal->runs("sleep")) << "the job in the terminal was interrupted";
    }
};

TEST_F(ReadingAppsScenario, XtermGivesItsSelectionAndNeverAKey) {
    if (!installed("xterm")) {
        return;
    }
    constexpr int columns = 80;
    constexpr int rows = 12;
    TerminalJob job;
    ASSERT_NO_FATAL_FAILURE(
        job.start({"xterm", "-T", "Reading notes", "-geometry", "80x12+100+100", "-e"}, documents,
                  "Reading notes"));
    const auto& window = job.window;
    // xterm is not on the accessibility bus: its characters sit on a grid inside a border of 2.
    const double cellWidth = (window->area.width - 4.0) / columns;
    const double cellHeight = (window->area.height - 4.0) / rows;
    const auto clickCell = [&, area = window->area](int column, int row, int clicks) {
        ReadingApps::clickAt(area.x + 2 + static_cast<int>((column + 0.5) * cellWidth),
                             area.y + 2 + static_cast<int>((row + 0.5) * cellHeight), clicks);
    };
    // "serendipity" starts at column 12 of the first line; the sentence is the second line.
    read(ReadingApp{"xterm", [&] { clickCell(15, 0, 2); }, [&] { clickCell(5, 1, 3); },
                    "Reading notes", std::nullopt},
         *window);
    job.expectKept();
    EXPECT_EQ(logCount("복사 키를 보내지 않음"), 0u) << log();
}

TEST_F(ReadingAppsScenario, Xfce4TerminalReadsItsScreenAndKeepsTheJob) {
    if (!installed("xfce4-terminal")) {
        return;
    }
    TerminalJob job;
    ASSERT_NO_FATAL_FAILURE(
        job.start({"xfce4-terminal", "--disable-server", "-T", "Reading notes",
                   "--dynamic-title-mode=none", "--geometry", "80x12+100+100", "-x"},
                  documents, "Reading notes"));
    read(byClicks("xfce4-terminal", job.window->pid, "Reading notes", std::nullopt), *job.window);
    job.expectKept();
}

TEST_F(ReadingAppsScenario, AlacrittyUnderAClassOfItsOwnKeepsTheJob) {
    if (!installed("alacritty")) {
        return;
    }
    // A scratchpad terminal, started under a class of its own that no list of terminals knows.
    TerminalJob job;
    ASSERT_NO_FATAL_FAILURE(
        job.start({"alacritty", "--class", "Scratch", "-t", "Scratch notes", "-e"}, documents,
                  "Scratch notes"));
    // Nothing is selected in it: the last selection was made in another application.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_PRIMARY), "elsewhere", -1);
    ASSERT_TRUE(DesktopSession::activate(job.window->xid)) << "alacritty did not come to the front";
    DesktopSession::pumpFor(0.5);
    // Then the same terminal as a sandbox shows it: its window names the pid it has inside the
    // sandbox, which on the host is another process, one that holds no pseudo-terminal.
    for (const size_t capture : {1u, 2u}) {
        SCOPED_TRACE(capture);
        if (capture == 2) {
            DesktopSession::setWindowPid(job.window->xid, 2);
        }
        lookupChord();
        ASSERT_TRUE(DesktopSession::pumpUntil(
            [&] { return logCount("[capture] 못 가져옴 reason=") == capture; }, 15))
            << log();
        DesktopSession::pumpFor(1);
        job.expectKept();
        EXPECT_EQ(logCount("복사 키를 보내지 않음 — 복사 키를 모르는 터미널 app=scratch"), capture)
            << log();
        EXPECT_EQ(logCount("못 가져옴 reason=copy_not_sent app=scratch"), capture) << log();
    }
    const auto changed = clipboardDifference();
    EXPECT_FALSE(changed) << changed.value_or("");
}

TEST_F(ReadingAppsScenario, MousepadReadsTheOpenFile) {
    readDocument("mousepad", documents / "notes.txt");
    if (HasFailure()) {
        return;
    }
    // Two files of one name in two folders, open in one Mousepad: the first named on its command
    // line, the second handed to it by a second start, which only the desktop's recent list
    // records. Mousepad writes that list where the program reads it.
    // Its preferences are kept in a settings file of its own, which it follows as it changes.
    const auto config = documents / "config";
    const std::map<std::string, std::string> desktop = {
        {"XDG_DATA_HOME", dataRoot().parent_path().string()},
        {"XDG_CONFIG_HOME", config.string()},
        {"GSETTINGS_BACKEND", "keyfile"}};
    const auto first = documents / "a" / "notes.txt";
    const auto second = documents / "b" / "notes.txt";
    for (const auto& file : {first, second}) {
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::copy_file(documents / "notes.txt", file);
    }
    DesktopProgram mousepad({"mousepad", first.string()}, desktop, documents / "mousepad-a.out");
    ASSERT_TRUE(mousepad.window(titled(first.string()), 30)) << "mousepad showed no window";
    DesktopProgram handed({"mousepad", second.string()}, desktop, documents / "mousepad-b.out");
    auto window = mousepad.window(titled(second.string() + " - Mousepad"), 30);
    ASSERT_TRUE(window) << "mousepad did not show the second file";
    const auto recent = dataRoot().parent_path() / "recently-used.xbel";
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] {
            std::ifstream in(recent);
            const std::string list((std::istreambuf_iterator<char>(in)), {});
            return list.find(SourceURL::fileURL(second.string())) != std::string::npos;
        },
        10))
        << "mousepad did not record the second file";
    const auto sourceSearches = [&] {
        return backend.requests("GET", "/rest/v1/sources");
    };
    const auto pickWord = [pid = window->pid] {
        clickText(pid, ScriptedBackend::knownWord, 2);
    };

    // The title shows the second file's path: saved under that file, not the first of its name.
    const ReadingApp byPath{"mousepad-path", pickWord, {}, "notes.txt", std::nullopt};
    ASSERT_NO_FATAL_FAILURE(capture(byPath, *window, true, 0));
    EXPECT_TRUE(DesktopSession::pumpUntil(
        [&] {
            for (const auto& request : backend.requests("POST", "/rest/v1/sources")) {
                const auto row = json::parse(request.body).value_or(Json::object());
                if (json::string(row, "url") == SourceURL::fileURL(second.string())) {
                    return true;
                }
            }
            return false;
        },
        15))
        << "no source was saved for " << second << "\n"
        << log();

    // The title shows the name alone, which both files have: the title alone is saved.
    std::filesystem::create_directories(config / "glib-2.0" / "settings");
    std::ofstream(config / "glib-2.0" / "settings" / "keyfile")
        << "[org/xfce/mousepad/preferences/window]\npath-in-title=false\n";
    window = mousepad.window(
        [](const DesktopProgram::Window& w) { return w.title == "notes.txt - Mousepad"; }, 30);
    ASSERT_TRUE(window) << "mousepad kept the path in its title";
    const size_t searched = sourceSearches().size();
    const ReadingApp byName{"mousepad-name", pickWord, {}, "notes.txt", std::nullopt};
    ASSERT_NO_FATAL_FAILURE(capture(byName, *window, true, 0));
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return sourceSearches().size() > searched; }, 15))
        << log();
    for (size_t i = searched; i < sourceSearches().size(); ++i) {
        const std::string query = sourceSearches()[i].query;
        EXPECT_EQ(query.find("url=eq."), std::string::npos) << query;
        EXPECT_NE(query.find("title=eq.notes"), std::string::npos) << query;
    }
}

TEST_F(ReadingAppsScenario, LibreOfficeWriterGivesItsSelection) {
    if (!installed("lowriter")) {
        return;
    }
    // A fresh profile past its first start: no tip of the day, no welcome.
    const auto profile = documents / "libreoffice";
    std::filesystem::create_directories(profile / "user");
    std::ofstream(profile / "user" / "registrymodifications.xcu")
        << R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
</oor:items>
)";
    const auto notes = documents / "notes.txt";
    DesktopProgram writer({"lowriter", "--norestore", "--nologo",
                           "-env:UserInstallation=file://" + profile.string(), notes.string()},
                          {}, documents / "lowriter.out");
    const auto window = writer.window(titled("LibreOffice Writer"), 90);
    ASSERT_TRUE(window) << "LibreOffice Writer showed no window";
    DesktopSession::pumpFor(1);
    // Writer (without its GTK plug-in) shows nothing to the accessibility bus: the user selects
    // with the keyboard. The word is the fourth of the first line; the sentence the second line.
    const auto selectWord = [] {
        ProgramWindows::pressKeys({XK_Control_L, XK_Home});
        for (int i = 0; i < 3; ++i) {
            ProgramWindows::pressKeys({XK_Control_L, XK_Right});
        }
        ProgramWindows::pressKeys({XK_Control_L, XK_Shift_L, XK_Right});
    };
    const auto selectSentence = [] {
        ProgramWindows::pressKeys({XK_Control_L, XK_Home});
        ProgramWindows::pressKeys({XK_Down});
        ProgramWindows::pressKeys({XK_Shift_L, XK_End});
    };
    read(ReadingApp{"libreoffice-writer", selectWord, selectSentence, "notes.txt",
                    "file://" + notes.string()},
         *window);
}

TEST_F(ReadingAppsScenario, EvinceReadsTheSelectedTextOfThePage) {
    readDocument("evince", documents / "notes.pdf");
}

}  // namespace
}  // namespace parlendo::testing
