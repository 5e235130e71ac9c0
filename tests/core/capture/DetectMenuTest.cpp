#include "capture/DetectMenu.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using DetectMenu::Lines;
using DetectMenu::SettingShows;

TEST(DetectMenuTest, OffAndBlockedStates) {
    DetectState s;
    EXPECT_EQ(DetectMenu::lines(s, {}, true),
              (Lines{"○ 감지 꺼짐", "감지 켜기  (⌥ 두 번)", std::nullopt}));
    s.enabled = true;
    s.permissionGranted = true;
    s.healthy = false;
    EXPECT_EQ(DetectMenu::lines(s, {}, true),
              (Lines{"⚠️ 감지를 켰지만 멈춰 있어요: 로그인 필요",
                     "감지 끄기  (⌥ 두 번)", std::nullopt}));
}

TEST(DetectMenuTest, WatchingShowsThePopupSettingsLine) {
    DetectState s;
    s.enabled = s.permissionGranted = s.loggedIn = true;
    const std::string watching = "● 감지 중 — 글을 선택하고 ⌥⌘ 를 같이 누르세요";
    const std::vector<SettingShows> three{{true, false}, {true, true}, {false, true}};
    EXPECT_EQ(DetectMenu::lines(s, three, true),
              (Lines{watching, "감지 끄기  (⌥ 두 번)", "팝업 설정 3개 켜짐 (단어 2 · 문장 2)"}));
    EXPECT_EQ(DetectMenu::lines(s, three, false).popups,
              "팝업 설정을 아직 읽지 못했어요 — 기본값으로 띄워요");
    EXPECT_EQ(DetectMenu::lines(s, {}, true).popups,
              "⚠️ 켜 둔 팝업 설정이 없어요 — 관리 창에서 켜세요");
}

}  // namespace
}  // namespace parlendo
