#include "ManualExecutor.h"
#include "ScriptedAccount.h"
#include "ShellDesktop.h"
#include "TempDir.h"
#include "account/GtkNewPasswordWindow.h"
#include "aitalk/AnswerPage.h"
#include "aitalk/MathLib.h"
#include "foundation/AppBundle.h"
#include "foundation/FileIO.h"
#include "foundation/GlibMainExecutor.h"
#include "manage/BridgeRouter.h"
#include "popups/GtkPopupCard.h"
#include "popups/MeaningPopup.h"
#include "shell/ToolkitWarmup.h"
#include "shell/WebViews.h"

#include <fcntl.h>
#include <gmodule.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

// The module's entry, linked into the tests.
extern "C" const parlendo::WebViews::Entry* parlendo_web_views();

namespace parlendo {
namespace {

using testing::ManualExecutor;
using testing::ShellDesktop;

// The program finds its web views module beside itself in a build tree, and in the library folder
// of the prefix it was installed into, wherever that prefix was moved.
TEST(WebViews, TheModuleIsLookedForBesideTheProgramThenInItsInstalledLibraryFolder) {
    const auto installed = WebViews::candidates("/opt/tools/bin/parlendo");
    ASSERT_EQ(installed.size(), 2u);
    EXPECT_EQ(installed[0], std::filesystem::path("/opt/tools/bin/parlendo-webviews.so"));
    EXPECT_EQ(installed[1].filename(), "parlendo-webviews.so");
    EXPECT_EQ(installed[1].parent_path().filename(), "parlendo");
    // Under the same prefix, never above it.
    EXPECT_EQ(installed[1].string().rfind("/opt/tools/lib", 0), 0u) << installed[1];
}

// The first web view starts the web engine, which holds the main loop for long: the module's
// windows are built a step per turn of the loop, so that input, drawing and timers go on in
// between, and none is built in the call that asks for it.
TEST(WebViews, TheModulesWindowsAreBuiltAStepPerTurnOfTheMainLoop) {
    ASSERT_TRUE(ShellDesktop::ready()) << "needs an X display: run under scripts/with-session.sh";
    const WebViews::Entry* entry = parlendo_web_views();
    auto main = std::make_shared<ManualExecutor>();
    const auto turnsUntil = [&main](const std::function<bool()>& built) {
        int turns = 0;
        while (!built() && main->runOne()) {
            ++turns;
        }
        return turns;
    };

    const auto resources = AppBundle::main().resourceDirectory;
    std::shared_ptr<AnswerView> answer;
    entry->answer(
        AnswerPage::build(fileio::readFile(resources / "ai_popup_web.html"), ThemeMode::light),
        MathLib(resources).source(), ThemeMode::light, main, SystemClock::shared(),
        [&answer](std::shared_ptr<AnswerView> view) { answer = std::move(view); });
    EXPECT_FALSE(answer) << "built in the call";
    EXPECT_GE(turnsUntil([&answer] { return answer != nullptr; }), 4);
    ASSERT_TRUE(answer);

    auto manage = entry->manage(
        std::make_shared<ManageBridge>(BridgeRouter::make({})), [] { return ThemeMode::light; },
        ManageView::Options{std::nullopt, nullptr, main, false});
    ASSERT_TRUE(manage);
    manage->show();
    EXPECT_EQ(manage->window(), nullptr) << "built in the call";
    EXPECT_GE(turnsUntil([&manage] { return manage->window() != nullptr; }), 3);
    EXPECT_NE(manage->window(), nullptr);
    main->runAll();
}

// While a worker loads the module, the loader holds its locks and GModule its own: a main thread
// that opened a library or started a thread meanwhile (Pango starts two to match a font not
// matched before) would wait for the whole load. A library whose file is a pipe holds them here,
// loading until the pipe's other end closes, while the windows that open by themselves show.
TEST(WebViews, WindowsThatOpenByThemselvesShowWhileALibraryLoads) {
    ASSERT_TRUE(ShellDesktop::ready()) << "needs an X display: run under scripts/with-session.sh";
    // Text fields type through a module of the desktop's choice (the test desktop's is built in).
    g_object_set(gtk_settings_get_default(), "gtk-im-module", "xim", nullptr);
    auto main = std::make_shared<GlibMainExecutor>();
    bool prepared = false;
    ToolkitWarmup::prepareFonts(main, [&prepared] { prepared = true; });
    ASSERT_TRUE(ShellDesktop::pumpUntil([&prepared] { return prepared; }));
    ToolkitWarmup::keepInputMethod();  // as the load does before its worker starts
    // Out of the windows' way: the first tooltip's window is built from a template, which looks
    // the program's symbols up through GModule.
    testing::DesktopSession::pointerTo(0, 0);

    const testing::TempDir folder;
    const std::string pipe = (folder.path() / "loading.so").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> loading{false};
    std::promise<void> shown;
    bool heldThroughout = false;
    // Started first: starting a thread waits while the library loads.
    std::thread writer([&pipe, &loading, &heldThroughout, done = shown.get_future()] {
        const int end = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);  // once the loader reads it
        loading = true;
        heldThroughout = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        ::close(end);
    });
    std::thread loader([&pipe] { g_module_open_full(pipe.c_str(), G_MODULE_BIND_LOCAL, nullptr); });
    EXPECT_TRUE(ShellDesktop::pumpUntil([&loading] { return loading.load(); }));

    auto cards = MeaningPopup::make(main, SystemClock::shared(),
                                    std::make_shared<GdkPopupScreens>(), GtkPopupCard::factory());
    const PopupID card{"C1", 0};
    const auto selection = GdkPopupScreens::fromGdk(
        300, 200, 80, 18, GdkPopupScreens::origin(gdk_display_get_default()));
    cards->open(card, PopupBody::loading("run", "조회 중…"), "· 단어", PopupOptions::standard(),
                PopupAnchor::selection(selection), 11.6);
    cards->fill(card, PopupBody::word("run", "← running", {{"korean", "한글 뜻", "달리다 [verb]"}}),
                3.0);
    auto password = GtkNewPasswordWindow::make(
        std::make_shared<testing::ScriptedAccount>(), [] {}, main);
    password->show();
    EXPECT_TRUE(ShellDesktop::pumpUntil([&password] {
        return testing::CardWindows::shown().size() == 1 &&
               ShellDesktop::shown(password->widgets().window);
    }));
    ShellDesktop::pumpFor(0.3);  // their first frames
    shown.set_value();
    writer.join();
    loader.join();
    EXPECT_TRUE(heldThroughout) << "a window waited for the library's load";
}

}  // namespace
}  // namespace parlendo
