// The very first start on this computer: the notice of what the program reads and sends opens by
// itself, once; nobody is signed in yet, so the capture waits.
#include "CaptureSteps.h"

#include <filesystem>

namespace parlendo::testing {
namespace {

using FirstStartScenario = CaptureSteps;

TEST_F(FirstStartScenario, TheNoticeOpensOnceAndTheMenuWaitsForALogin) {
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[notice] shown sha=")) << log();
    AccessibleApp* app = windows();
    ASSERT_NE(app, nullptr);
    std::optional<AccessibleApp::Window> notice;
    ASSERT_TRUE(DesktopSession::pumpUntil([&] {
        for (auto& window : app->windows()) {
            if (window.name == "PARLENDO 안내") {
                notice = std::move(window);
                return true;
            }
        }
        return false;
    })) << log();
    const bool saysWhatItReads =
        std::any_of(notice->texts.begin(), notice->texts.end(), [](const std::string& text) {
            return text.find("보고 있는 창의 제목") != std::string::npos;
        });
    EXPECT_TRUE(saysWhatItReads) << ::testing::PrintToString(notice->texts);
    screenshot(notice->extents, "notice");

    // No login is kept: nothing is restored, and the menu shows the capture switched off.
    EXPECT_TRUE(waitForLog("저장된 세션 없음")) << log();
    panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();
    EXPECT_TRUE(panel->find("○ 감지 꺼짐")) << ::testing::PrintToString(panel->shown());
    EXPECT_TRUE(backend.requests("POST", "/auth/v1/token").empty());

    // Read and closed with its button; the next start does not show it again.
    ASSERT_TRUE(app->press("push button", "확인"));
    ASSERT_TRUE(DesktopSession::pumpUntil([&] {
        for (const auto& window : app->windows()) {
            if (window.name == "PARLENDO 안내") {
                return false;
            }
        }
        return true;
    })) << log();
    EXPECT_EQ(terminate(), 0) << log();
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[timing] startup status_icon", 20)) << log();
    ASSERT_TRUE(waitForLog("저장된 세션 없음")) << log();
    DesktopSession::pumpFor(1);
    EXPECT_EQ(logCount("[notice] shown sha="), 1u) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
