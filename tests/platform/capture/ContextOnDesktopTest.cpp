// The window context of a capture read from the applications people read in, the real ones of
// the system: the page's address in the browsers, the document's file in the editors and the
// viewer, and the source a capture there saves.
#include "DesktopProgram.h"
#include "DesktopSession.h"
#include "LogCapture.h"
#include "PdfViewer.h"
#include "TempDir.h"
#include "TestPdf.h"
#include "capture/AtspiAccessibility.h"
#include "capture/DesktopApps.h"
#include "capture/DesktopDocuments.h"
#include "capture/EwmhWindows.h"
#include "capture/TreeContextReader.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GlibThreadQueue.h"
#include "lookup/SourceURL.h"
#include "saving/SourceResolver.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace parlendo {
namespace {

using testing::DesktopProgram;
using testing::DesktopSession;

// A window whose title holds `part`.
std::function<bool(const DesktopProgram::Window&)> titled(std::string part) {
    return [part = std::move(part)](const DesktopProgram::Window& window) {
        return window.title.find(part) != std::string::npos;
    };
}

// Runs at a fifth of real time: the read keeps its limits of calls and nodes, but a busy test
// machine still gets through a real application's tree within its budget.
struct UnhurriedClock final : MonotonicClock {
    double uptime() const override { return SystemClock::shared()->uptime() / 5; }
};

// What a capture in the window would save as its source, and how the context was read.
struct Read {
    ReadingContext context;
    SourceResolver::Identity source;
    double ms = 0;
};

class ContextOnDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DesktopSession::available()) {
            GTEST_SKIP() << "no X display";
        }
        DesktopSession::ensure();
        accessibility =
            AtspiAccessibility::make(fetch, fetch->context(), [] { return ScreenFrames{}; });
        accessibility->start();
        auto windows = X11Windows::connect();
        ASSERT_TRUE(windows);
        apps = std::make_shared<DesktopApps>(windows);
        reader = std::make_shared<TreeContextReader>(
            std::make_shared<EwmhWindows>(apps), accessibility, std::make_shared<UnhurriedClock>(),
            std::make_shared<DesktopDocuments>("/proc", RecentFiles::defaultPath()));
    }

    // Brings the window to the front and reads its context until `done` holds for it (an
    // application fills its tree and its records while it starts), at most `attempts` times.
    Read readFront(unsigned long window, const std::function<bool(const ReadingContext&)>& done,
                   int attempts = 20) {
        Read out;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            DesktopSession::activate(window);
            DesktopSession::pumpFor(attempt == 0 ? 0.5 : 1.0);
            const auto front = apps->front();
            if (!front) {
                continue;
            }
            auto result = std::make_shared<std::optional<std::pair<ReadingContext, double>>>();
            fetch->post([reader = reader, app = *front, result, main = main] {
                const auto start = std::chrono::steady_clock::now();
                auto context = reader->read(app);
                const double ms = std::chrono::duration<double, std::milli>(
                                      std::chrono::steady_clock::now() - start)
                                      .count();
                main->post([result, context = std::move(context), ms] {
                    *result = std::make_pair(context.value_or(ReadingContext{}), ms);
                });
            });
            DesktopSession::pumpUntil([&] { return result->has_value(); }, 30);
            if (!*result) {
                continue;
            }
            out.context = (*result)->first;
            out.ms = (*result)->second;
            if (done(out.context)) {
                break;
            }
        }
        const CaptureSnapshot snapshot("ID", "word", 0, out.context.window, out.context.title,
                                       out.context.documentURL, out.context.webURL);
        out.source = SourceResolver::identity(snapshot);
        // The figures of each application, for the record of the test run.
        std::printf("[source] app=%s title=\"%s\" url=%s from=%s read_ms=%.0f\n",
                    out.context.window.bundleID.c_str(), out.source.title.c_str(),
                    out.source.url.value_or("null").c_str(), from().c_str(), out.ms);
        return out;
    }

    // Where the last document file was found, as the log says.
    std::string from() const {
        const auto lines = log.messages("context");
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (const auto at = it->find("from="); at != std::string::npos) {
                return it->substr(at + 5, it->find(' ', at) - at - 5);
            }
        }
        return "tree";
    }

    static void press(const std::vector<const char*>& keysyms) {
        Display* dpy = gdk_x11_get_default_xdisplay();
        std::vector<unsigned> codes;
        for (const char* keysym : keysyms) {
            codes.push_back(XKeysymToKeycode(dpy, XStringToKeysym(keysym)));
        }
        DesktopSession::tap(codes);
    }

    std::string page(const std::string& name, const std::string& title) const {
        dir.write(name, "<!doctype html><html><head><title>" + title +
                            "</title></head><body><p>The quick brown fox reads a serendipitous "
                            "sentence.</p></body></html>");
        return SourceURL::fileURL((dir.path() / name).string());
    }

    testing::LogCapture log;
    testing::TempDir dir;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<GlibThreadQueue> fetch =
        std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
    std::shared_ptr<AtspiAccessibility> accessibility;
    std::shared_ptr<DesktopApps> apps;
    std::shared_ptr<TreeContextReader> reader;
};

TEST_F(ContextOnDesktop, FirefoxGivesTheAddressOfTheTabShown) {
    ASSERT_TRUE(DesktopProgram::installed("firefox-esr")) << "scripts/setup.sh installs it";
    const std::string first = page("first.html", "First Page");
    const std::string second = page("second.html", "Reading Page");
    // A fresh profile without first-run pages, updates or anything else that goes online.
    dir.write("profile/user.js", R"(
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("startup.homepage_welcome_url", "");
user_pref("startup.homepage_welcome_url.additional", "");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.normandy.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.search.update", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.newtabpage.enabled", false);
user_pref("browser.newtab.preload", false);
user_pref("browser.tabs.warnOnClose", false);
user_pref("extensions.pocket.enabled", false);
)");
    DesktopProgram firefox({"firefox-esr", "--no-remote", "--new-instance", "--profile",
                            (dir.path() / "profile").string(), first + "#top",
                            second + "?ref=list&utm_source=mail#part-2"},
                           {{"MOZ_CRASHREPORTER_DISABLE", "1"}});
    auto window = firefox.window(titled("First Page"), 90);
    ASSERT_TRUE(window) << "firefox showed no window";
    // The second tab comes to the front; the first stays in the tree, hidden, before it.
    DesktopSession::activate(window->xid);
    DesktopSession::pumpFor(1.0);
    press({"Control_L", "Tab"});
    ASSERT_TRUE(firefox.window(titled("Reading Page"), 30)) << window->title;

    const Read read =
        readFront(window->xid, [](const ReadingContext& c) { return c.webURL.has_value(); });
    EXPECT_EQ(read.context.window.bundleID, "firefox-esr");
    EXPECT_EQ(read.context.webURL, second + "?ref=list&utm_source=mail#part-2");
    EXPECT_EQ(read.context.documentURL, std::nullopt) << "the browser's own interface is no file";
    // Saved without the fragment and the tracking parameter; a local page's address is saved in
    // the standard form of its file, without a query.
    EXPECT_EQ(read.source.url, second);
    EXPECT_EQ(read.source.title, "Reading Page");
}

TEST_F(ContextOnDesktop, ChromiumGivesThePageAddressWhenItsAccessibilityIsOn) {
    ASSERT_TRUE(DesktopProgram::installed("chromium")) << "scripts/setup.sh installs it";
    const std::string address = page("article.html", "An Article");
    // Chromium builds its tree of a page only when started with its accessibility on: without
    // it only its windows are on the bus (see the README's limits).
    DesktopProgram chromium(
        {"chromium", "--user-data-dir=" + (dir.path() / "chromium").string(), "--no-sandbox",
         "--disable-gpu", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-default-browser-check",
         "--password-store=basic", "--force-renderer-accessibility", address + "#intro"});
    auto window = chromium.window(titled("An Article"), 90);
    ASSERT_TRUE(window) << "chromium showed no window";

    const Read read =
        readFront(window->xid, [](const ReadingContext& c) { return c.webURL.has_value(); });
    EXPECT_EQ(read.context.window.bundleID, "chromium");
    EXPECT_EQ(read.context.webURL, address + "#intro");
    EXPECT_EQ(read.source.url, address);
    EXPECT_EQ(read.source.title, "An Article");
}

TEST_F(ContextOnDesktop, MousepadGivesTheFileOfItsProcessThenOfTheRecentList) {
    ASSERT_TRUE(DesktopProgram::installed("mousepad")) << "scripts/setup.sh installs it";
    const auto notes = dir.write("docs/my notes.txt", "The quick brown fox.\n");
    const auto second = dir.write("docs/second.txt", "A serendipitous sentence.\n");
    DesktopProgram mousepad({"mousepad", notes.string()});
    auto window = mousepad.window(titled("my notes.txt"), 90);
    ASSERT_TRUE(window) << "mousepad showed no window";

    Read read =
        readFront(window->xid, [](const ReadingContext& c) { return c.documentURL.has_value(); });
    EXPECT_EQ(read.context.window.bundleID, "org.xfce.mousepad");
    EXPECT_EQ(read.context.documentURL, SourceURL::fileURL(notes.string()));
    EXPECT_EQ(from(), "process");  // named on its command line; it closed the file after reading
    EXPECT_EQ(read.source.url, SourceURL::fileURL(notes.string()));
    EXPECT_EQ(read.source.title, "my notes.txt");  // not the whole path, not "Mousepad"

    // Opened from a second start, the file goes to the running Mousepad: only the desktop's
    // recent list knows it.
    DesktopProgram again({"mousepad", second.string()});
    ASSERT_TRUE(mousepad.window(titled("second.txt"), 30));
    read = readFront(window->xid, [&](const ReadingContext& c) {
        return c.documentURL == SourceURL::fileURL(second.string());
    });
    EXPECT_EQ(read.context.documentURL, SourceURL::fileURL(second.string()));
    EXPECT_EQ(from(), "recent_list");
    EXPECT_EQ(read.source.title, "second.txt");
}

TEST_F(ContextOnDesktop, LibreOfficeWriterGivesTheFileItHoldsOpen) {
    ASSERT_TRUE(DesktopProgram::installed("lowriter")) << "scripts/setup.sh installs it";
    const auto essay = dir.write("docs/essay.fodt",
                                 R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"
  office:mimetype="application/vnd.oasis.opendocument.text">
<office:body><office:text><text:p>The quick brown fox reads a sentence.</text:p></office:text>
</office:body></office:document>
)");
    DesktopProgram writer({"lowriter", "--norestore", "--nologo", essay.string()});
    auto window = writer.window(titled("essay.fodt"), 110);
    ASSERT_TRUE(window) << "LibreOffice showed no window";

    const Read read =
        readFront(window->xid, [](const ReadingContext& c) { return c.documentURL.has_value(); });
    EXPECT_EQ(read.context.window.bundleID, "libreoffice-writer");
    EXPECT_EQ(read.context.documentURL, SourceURL::fileURL(essay.string()));
    EXPECT_EQ(from(), "process");
    EXPECT_EQ(read.source.url, SourceURL::fileURL(essay.string()));
    EXPECT_EQ(read.source.title, "essay.fodt");
}

TEST_F(ContextOnDesktop, EvinceGivesTheFileItShows) {
    ASSERT_TRUE(testing::PdfViewer::installed()) << "scripts/setup.sh installs it";
    const auto pdf = dir.path() / "Reading Notes.pdf";
    auto document = testing::TestPdf::prose(2, 20);
    document.title = "A Study of Foxes";
    ASSERT_TRUE(testing::TestPdf::write(pdf, document));
    testing::PdfViewer evince(pdf);
    auto window = evince.window(90);
    ASSERT_TRUE(window) << "evince showed no window";

    const Read read =
        readFront(window->xid, [](const ReadingContext& c) { return c.documentURL.has_value(); });
    EXPECT_EQ(read.context.window.bundleID, "org.gnome.Evince");
    EXPECT_EQ(read.context.documentURL, SourceURL::fileURL(pdf.string()));
    EXPECT_EQ(read.source.title, "Reading Notes.pdf");  // the file, not the document's own title
}

}  // namespace
}  // namespace parlendo
