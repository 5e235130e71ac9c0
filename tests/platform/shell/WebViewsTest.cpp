#include "ManualExecutor.h"
#include "ShellDesktop.h"
#include "aitalk/AnswerPage.h"
#include "aitalk/MathLib.h"
#include "foundation/AppBundle.h"
#include "foundation/FileIO.h"
#include "manage/BridgeRouter.h"
#include "shell/WebViews.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace parlendo
