// The manage window of a signed-in user: opened from the status menu, its page answered by the
// program over the bridge.
#include "UserDay.h"

#include <algorithm>

namespace parlendo::testing {
namespace {

using ManageScenario = UserDay;

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
    // The page asked the program for its word book and shows it.
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [] { return ProgramWindows::pageText().find("영어 공부") != std::string::npos; }, 20))
        << ProgramWindows::pageText() << log();
    std::printf("%s\n", ProgramWindows::pageText().c_str());
    // The menu item brings the open window forward instead of opening a second one.
    ASSERT_TRUE(panel->click("관리 창 열기"));
    DesktopSession::pumpFor(1);
    EXPECT_EQ(logCount("[manage] 관리 화면 로드됨"), 1u);
    EXPECT_EQ(ProgramWindows::all().size(), 1u);
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
