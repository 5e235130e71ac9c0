// The manage window of a signed-in user: opened from the status menu, its page answered by the
// program over the bridge.
#include "UserDay.h"

#include <algorithm>

namespace parlendo::testing {
namespace {

using ManageScenario = UserDay;

// The showing window whose texts hold `text`, waiting up to `seconds`.
std::optional<AccessibleApp::Window> windowShowing(AccessibleApp& app, const std::string& text,
                                                   double seconds = 20) {
    std::optional<AccessibleApp::Window> found;
    DesktopSession::pumpUntil(
        [&] {
            for (auto& window : app.windows()) {
                if (std::find(window.texts.begin(), window.texts.end(), text) !=
                    window.texts.end()) {
                    found = std::move(window);
                    return true;
                }
            }
            return false;
        },
        seconds);
    return found;
}

TEST_F(ManageScenario, TheMenuOpensTheManageWindowWhosePageTheProgramAnswers) {
    backend.keepPopupCards();
    const std::string folder = backend.library->addFolder("영어 공부", std::nullopt);
    const std::string source = backend.library->addSource("Reading notes — Test window", folder);
    backend.library->addWord("serendipity", source, "뜻밖의 행운");
    keepSignedIn();
    noticeRead();
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitSignedIn()) << log();
    auto panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();

    ASSERT_TRUE(panel->click("관리 창 열기")) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    AccessibleApp* app = windows();
    ASSERT_NE(app, nullptr);
    // The page asked the program for its fonts and the detection state, and shows the answer.
    const auto window = windowShowing(*app, "앱과 연결됐어요.");
    ASSERT_TRUE(window.has_value()) << log();
    EXPECT_EQ(window->role, "frame");
    EXPECT_EQ(window->name, "PARLENDO");
    EXPECT_TRUE(std::find(window->texts.begin(), window->texts.end(), "PARLENDO 관리") !=
                window->texts.end());
    EXPECT_GE(window->extents.width, 800);
    screenshot(window->extents, "manage-window");
    EXPECT_TRUE(waitForLog("[manage] ui_fonts ok=true")) << log();
    EXPECT_TRUE(waitForLog("[manage] detect_status ok=true")) << log();

    // The menu item brings the open window forward instead of opening a second one.
    ASSERT_TRUE(panel->click("관리 창 열기"));
    DesktopSession::pumpFor(1);
    EXPECT_EQ(logCount("[manage] 관리 화면 로드됨"), 1u);
    size_t frames = 0;
    for (const auto& shown : app->windows()) {
        frames += shown.role == "frame" ? 1 : 0;
    }
    EXPECT_EQ(frames, 1u);
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
