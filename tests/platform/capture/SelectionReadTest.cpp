#include "capture/AtspiSelectionReader.h"

#include "DesktopSession.h"
#include "LogCapture.h"
#include "capture/AtspiAccessibility.h"
#include "capture/DesktopCapture.h"
#include "capture/GtkPasteboard.h"
#include "capture/SelectionFetch.h"
#include "capture/SyntheticCopyLedger.h"
#include "capture/TreeContextReader.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GlibThreadQueue.h"
#include "foundation/MainThreadCall.h"

namespace parlendo {
namespace {

using testing::DesktopSession;
using testing::TestWindow;

// The reader of a lookup whose direct read the application refuses: the copy must take over.
struct RefusingReader final : SelectionReading {
    explicit RefusingReader(std::shared_ptr<SelectionReading> inner) : inner(std::move(inner)) {}
    std::optional<DirectSelection> readDirect() override { return std::nullopt; }
    std::optional<WindowIdentity> frontWindow() override { return inner->frontWindow(); }
    std::int64_t pasteboardChangeCount() override { return inner->pasteboardChangeCount(); }
    SavedPasteboard savePasteboard() override { return inner->savePasteboard(); }
    std::int64_t restorePasteboard(const SavedPasteboard& saved) override {
        return inner->restorePasteboard(saved);
    }
    std::optional<std::string> pasteboardText() override { return inner->pasteboardText(); }
    void postCopy() override { inner->postCopy(); }
    double now() override { return inner->now(); }
    std::optional<SelectionBoundsRead> selectionBounds() override { return std::nullopt; }
    std::shared_ptr<SelectionReading> inner;
};

struct SelectionReadTest : ::testing::Test {
    void SetUp() override {
        if (!DesktopSession::available()) {
            GTEST_SKIP() << "no X display";
        }
        DesktopSession::ensure();
        fetch = std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
        accessibility =
            AtspiAccessibility::make(fetch, fetch->context(), DesktopCapture::screens(main));
        accessibility->start();
        // The client is set up on the main loop.
        ASSERT_TRUE(DesktopSession::pumpUntil([&] { return accessibility->connected(); }, 10));
        auto windows = X11Windows::connect();
        ASSERT_TRUE(windows);
        apps = std::make_shared<DesktopApps>(windows);
        desktop = std::make_shared<SelectionDesktop>();
        desktop->accessibility = accessibility;
        desktop->windows = std::make_shared<EwmhWindows>(apps);
        desktop->clipboardCount = XFixesClipboardCounter::open();
        desktop->keyboard = XTestKeyboard::open(trail, SystemClock::shared());
        desktop->main = main;
        desktop->clock = SystemClock::shared();
        ASSERT_TRUE(desktop->clipboardCount && desktop->keyboard);
    }

    // Runs `work` on the fetch queue and pumps the main loop until it is done.
    template <typename T>
    std::optional<T> onFetch(std::function<T()> work, double seconds = 10) {
        auto result = std::make_shared<std::optional<T>>();
        fetch->post([work, result, main = main] {
            T value = work();
            main->post([result, value = std::move(value)] { *result = value; });
        });
        DesktopSession::pumpUntil([&] { return result->has_value(); }, seconds);
        return *result;
    }

    static std::unique_ptr<TestWindow> open(std::vector<std::string> args) {
        return TestWindow::inFront(std::move(args));
    }

    RunningApplication front() { return apps->front().value_or(RunningApplication{}); }

    testing::LogCapture log;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<GlibThreadQueue> fetch;
    std::shared_ptr<AtspiAccessibility> accessibility;
    std::shared_ptr<DesktopApps> apps;
    std::shared_ptr<SyntheticKeyTrail> trail = std::make_shared<SyntheticKeyTrail>();
    std::shared_ptr<SelectionDesktop> desktop;
};

TEST_F(SelectionReadTest, ReadsTheSelectionItsBoundsAndTheWindowContext) {
    auto window = open({"--title", "Reading — Test window", "--label", "serendipity and more"});
    ASSERT_TRUE(window->command("select-label 0 11"));
    DesktopSession::pumpFor(0.3);
    const RunningApplication app = front();
    EXPECT_EQ(app.pid, window->pid());
    EXPECT_EQ(app.bundleID, "org.parlendo.TestWindow");

    auto reader = std::make_shared<AtspiSelectionReader>(desktop, app);
    const auto direct =
        onFetch<std::optional<DirectSelection>>([reader] { return reader->readDirect(); });
    ASSERT_TRUE(direct && *direct);
    EXPECT_EQ((*direct)->text, "serendipity");
    EXPECT_EQ((*direct)->method, "selected_text");

    // The bounds read has 0.12 s in all: an application that is slow to answer (a loaded
    // machine) gets none. Within a few tries it answers in time.
    std::optional<std::optional<SelectionBoundsRead>> bounds;
    for (int attempt = 0; attempt < 5 && !(bounds && *bounds); ++attempt) {
        bounds = onFetch<std::optional<SelectionBoundsRead>>(
            [reader] { return reader->selectionBounds(); });
    }
    ASSERT_TRUE(bounds && *bounds);
    EXPECT_EQ((*bounds)->method, "range");
    // The label is centred at the top of the 600-wide window placed at (200, 150) on a
    // 1080-high screen.
    EXPECT_GT((*bounds)->rect.x, 200);
    EXPECT_LT((*bounds)->rect.maxX(), 800);
    EXPECT_GT((*bounds)->rect.width, 20);
    EXPECT_LT((*bounds)->rect.height, 60);
    EXPECT_GT((*bounds)->rect.y, 1080 - 300);
    EXPECT_LT((*bounds)->rect.y, 1080 - 100);

    auto context =
        std::make_shared<TreeContextReader>(desktop->windows, accessibility, SystemClock::shared());
    const auto read =
        onFetch<std::optional<ReadingContext>>([context, app] { return context->read(app); });
    ASSERT_TRUE(read && *read);
    EXPECT_EQ((*read)->window,
              (WindowIdentity{window->pid(), "org.parlendo.TestWindow", "Reading — Test window"}));
    EXPECT_EQ((*read)->webURL, std::nullopt);
    EXPECT_TRUE(log.has("context", "웹 주소 안 씀 — 브라우저 아님 app=org.parlendo.TestWindow"));
}

TEST_F(SelectionReadTest, TheCopyTakesOverWhenTheDirectReadIsRefused) {
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "the user's clipboard", -1);
    DesktopSession::pumpFor(0.2);
    auto window = open({"--view", "The quick brown fox"});
    ASSERT_TRUE(window->command("select-view 4 15"));
    DesktopSession::pumpFor(0.3);
    const RunningApplication app = front();
    auto reader =
        std::make_shared<RefusingReader>(std::make_shared<AtspiSelectionReader>(desktop, app));
    auto ledger = std::make_shared<SyntheticCopyLedger>();
    const auto identity = desktop->windows->frontWindow();

    auto result = std::make_shared<std::optional<SelectionFetch::Result>>();
    fetch->post([=, fetchQueue = fetch, main = main] {
        SelectionFetch::run(
            reader, ledger, identity, 0.4, 0.005, fetchQueue,
            [result, main](SelectionFetch::Result r) {
                main->post([result, r = std::move(r)]() mutable { *result = std::move(r); });
            });
    });
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return result->has_value(); }, 10));
    const auto* text = std::get_if<SelectionFetch::Text>(&(*result)->outcome);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text, "quick brown");
    EXPECT_EQ(text->stage, SelectionFetch::Stage::copy);
    EXPECT_EQ(window->seen("key c ctrl=1 shift=0").size(), 1u);
    // The copy and the restore are the application's own clipboard changes.
    EXPECT_GE(ledger->size(), 2u);
    EXPECT_TRUE(ledger->isSynthetic(desktop->clipboardCount->changeCount()));

    gchar* restored = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    ASSERT_NE(restored, nullptr);
    EXPECT_STREQ(restored, "the user's clipboard");
    g_free(restored);
}

TEST_F(SelectionReadTest, ATerminalGetsControlShiftCAndNeverControlC) {
    auto window = open({"--class", "ParlendoTestTerminal", "--view", "ls -la /tmp"});
    ASSERT_TRUE(window->command("select-view 0 2"));
    DesktopSession::pumpFor(0.3);
    EXPECT_TRUE(desktop->windows->frontIsTerminal());
    auto reader = std::make_shared<AtspiSelectionReader>(desktop, front());
    fetch->post([reader] { reader->postCopy(); });
    ASSERT_TRUE(window->waitFor("key c ctrl=1 shift=1").has_value());
    DesktopSession::pumpFor(0.3);
    EXPECT_TRUE(window->seen("key c ctrl=1 shift=0").empty());
}

}  // namespace
}  // namespace parlendo
