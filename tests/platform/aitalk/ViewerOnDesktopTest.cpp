#include "AITalkDesktop.h"
#include "LogCapture.h"
#include "PdfViewer.h"
#include "TempDir.h"
#include "TestPdf.h"
#include "aitalk/AITalkKeys.h"
#include "aitalk/ClipboardFetch.h"
#include "aitalk/CopyDoubleTapHotkey.h"
#include "aitalk/DesktopViewerProbe.h"
#include "aitalk/GtkClipboardSource.h"
#include "capture/AtspiAccessibility.h"
#include "capture/AtspiNode.h"
#include "capture/DesktopApps.h"
#include "capture/EwmhWindows.h"
#include "capture/InputHub.h"
#include "capture/RecentFiles.h"
#include "capture/SyntheticCopyLedger.h"
#include "capture/TreeContextReader.h"
#include "capture/X11InputSource.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GlibThreadQueue.h"
#include "lookup/SourceURL.h"

#include <atspi/atspi.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace parlendo {
namespace {

using testing::AITalkDesktop;
namespace TestPdf = testing::TestPdf;

// A real PDF viewer of the system showing a generated document.
class ViewerOnDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!AITalkDesktop::available()) {
            GTEST_SKIP() << "no X display";
        }
        if (!testing::PdfViewer::installed()) {
            GTEST_SKIP() << "evince is not installed (scripts/setup.sh installs it)";
        }
        AITalkDesktop::ensure();
        accessibility = AtspiAccessibility::make(fetch, fetch->context(), [] {
            return ScreenFrames{{PopupRect{0, 0, 1920, 1080}}, 1080};
        });
        accessibility->start();
        // The client is set up on the main loop.
        ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return accessibility->connected(); }, 10));
        windows = X11Windows::connect();
        ASSERT_TRUE(windows);
        apps = std::make_shared<DesktopApps>(windows);
        context = std::make_shared<TreeContextReader>(std::make_shared<EwmhWindows>(apps),
                                                      accessibility, SystemClock::shared());
        probe = std::make_shared<DesktopViewerProbe>(accessibility, context, fetch, main,
                                                     SystemClock::shared());
    }

    ViewerHints probeNow(const RunningApplication& app) {
        std::optional<ViewerHints> out;
        probe->probe(app, [&](ViewerHints hints) { out = std::move(hints); });
        AITalkDesktop::pumpUntil([&] { return out.has_value(); }, 10);
        return out.value_or(ViewerHints{});
    }

    testing::LogCapture log;
    testing::TempDir dir;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<GlibThreadQueue> fetch =
        std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
    std::shared_ptr<AtspiAccessibility> accessibility;
    std::shared_ptr<X11Windows> windows;
    std::shared_ptr<DesktopApps> apps;
    std::shared_ptr<TreeContextReader> context;
    std::shared_ptr<DesktopViewerProbe> probe;
};

TEST_F(ViewerOnDesktop, CtrlCTwiceOverASelectionInEvinceGivesTheTextTheFileAndThePage) {
    const auto pdf = dir.path() / "Physics Notes.pdf";
    ASSERT_TRUE(TestPdf::write(pdf, TestPdf::prose(6, 30)));
    testing::PdfViewer evince(pdf);
    const auto shown = evince.window();
    ASSERT_TRUE(shown) << "evince showed no window";
    const auto window = static_cast<X11Windows::Window>(shown->xid);
    AITalkDesktop::pumpFor(2.0);  // the document is laid out

    // The viewer gets the focus and the user drags over the first lines of page 1.
    testing::DesktopSession::activate(window);
    const GdkRectangle geometry = shown->area;
    // Evince opens the document at the top of page 1, whose first line is "Page 1.".
    const int left = geometry.x + 45;
    const int top = geometry.y + 100;
    AITalkDesktop::dragFrom(left, top, left + 300, top + 40);
    AITalkDesktop::pumpFor(0.5);

    // The trigger on the real input watch, and the clipboard read after it.
    auto ledger = std::make_shared<SyntheticCopyLedger>();
    auto trail = std::make_shared<SyntheticKeyTrail>();
    auto source =
        X11InputSource::make({main, SystemClock::shared(), trail, [] { return false; }, {}});
    auto hub = std::make_shared<InputHub>(source, ledger);
    auto clipboard = std::make_shared<GtkClipboardSource>(XFixesClipboardCounter::open());
    auto hotkey =
        std::make_shared<CopyDoubleTapHotkey>([clipboard] { return clipboard->changeCount(); });
    std::optional<std::pair<std::int64_t, double>> trigger;
    hotkey->onTrigger = [&](std::int64_t baseline, double at) {
        trigger = {baseline, at};
    };
    hub->subscribe(hotkey);
    hub->start();
    AITalkDesktop::pumpFor(0.3);
    AITalkDesktop::key(AITalkDesktop::code("Control_L"), true);
    AITalkDesktop::pumpFor(0.05);
    AITalkDesktop::chord({"c"});
    AITalkDesktop::pumpFor(0.15);
    AITalkDesktop::chord({"c"});
    AITalkDesktop::pumpFor(0.05);
    AITalkDesktop::key(AITalkDesktop::code("Control_L"), false);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return trigger.has_value(); }, 5)) << log.all();
    EXPECT_TRUE(log.contains("hotkey", "AI 톡 키 발동 gap_ms="));

    std::optional<ClipboardFetch::Outcome> fetched;
    ClipboardFetch::run(clipboard, ledger, trigger->first, AITalkKeys::copyWait,
                        AITalkKeys::copyPoll, main,
                        [&](ClipboardFetch::Outcome outcome) { fetched = std::move(outcome); });
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return fetched.has_value(); }, 5));
    ASSERT_TRUE(std::holds_alternative<ClipboardFetch::Text>(*fetched)) << log.all();
    const std::string copied = std::get<ClipboardFetch::Text>(*fetched).text;
    EXPECT_NE(copied.find("Page 1"), std::string::npos) << copied;

    // The probe finds the document, the visible page and the page holding the selection.
    const auto app = apps->application(window);
    EXPECT_EQ(app.pid, evince.pid());
    // The page work keeps to a quarter second after the probe starts. A viewer that is slow to
    // answer (right after the copy it serves the clipboard; on a loaded machine every call is
    // slow) may leave it no time: the probe is asked again, as the next question would, until it
    // gets through. The document is found every time.
    ViewerHints hints;
    for (int attempt = 0; attempt < 10 && hints.route != "preview_lines"; ++attempt) {
        hints = probeNow(app);
        EXPECT_EQ(hints.documentPath, std::filesystem::weakly_canonical(pdf).string());
        EXPECT_EQ(hints.title, "Physics Notes.pdf");
        AITalkDesktop::pumpFor(0.5);
    }
    EXPECT_EQ(hints.visiblePages, std::vector<int>{1}) << log.all();
    EXPECT_EQ(hints.selectionPages, std::vector<int>{1}) << log.all();
    EXPECT_EQ(hints.route, "preview_lines");
    EXPECT_GT(hints.ms, 0);
    EXPECT_TRUE(log.contains("ai_talk", "뷰어 읽기 route=preview_lines"));
    EXPECT_GT(testing::saveScreenshot(geometry, AITalkDesktop::outputPath("evince-selection.png")),
              500);
}

TEST_F(ViewerOnDesktop, TheViewersDocumentIsTheOnePDFItsProcessHolds) {
    // Two documents of one name in two folders, each in a viewer of its own, which titles its
    // window with the document's title and records both files in the desktop's recent list: the
    // name shown cannot tell them apart, the file each viewer holds can.
    TestPdf::Document document = TestPdf::prose(1, 10);
    document.title = "Lectures on Waves";
    const auto first = dir.path() / "a" / "Waves.pdf";
    const auto second = dir.path() / "b" / "Waves.pdf";
    for (const auto& pdf : {first, second}) {
        std::filesystem::create_directories(pdf.parent_path());
        ASSERT_TRUE(TestPdf::write(pdf, document));
    }
    const auto recorded = [](const std::filesystem::path& pdf) {
        return AITalkDesktop::pumpUntil(
            [&] {
                std::ifstream in(RecentFiles::defaultPath());
                const std::string list((std::istreambuf_iterator<char>(in)), {});
                return list.find(SourceURL::fileURL(pdf.string())) != std::string::npos;
            },
            10);
    };
    // Each viewer writes the list as it read it at its start: the second starts once the first
    // is recorded.
    testing::PdfViewer firstViewer(first);
    ASSERT_TRUE(firstViewer.window()) << "evince showed no window";
    ASSERT_TRUE(recorded(first)) << "evince did not record " << first;
    testing::PdfViewer secondViewer(second);
    const auto shown = secondViewer.window();
    ASSERT_TRUE(shown) << "evince showed no window";
    ASSERT_TRUE(recorded(second)) << "evince did not record " << second;
    ASSERT_TRUE(recorded(first)) << "evince dropped " << first;

    const auto app = apps->application(static_cast<X11Windows::Window>(shown->xid));
    ASSERT_EQ(app.pid, secondViewer.pid());
    const ViewerHints hints = probeNow(app);
    EXPECT_NE(hints.title.value_or("").find("Lectures on Waves"), std::string::npos)
        << hints.title.value_or("(none)");
    EXPECT_EQ(hints.documentPath, std::filesystem::weakly_canonical(second).string()) << log.all();
}

}  // namespace
}  // namespace parlendo
