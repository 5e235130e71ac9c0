#include "capture/DetectMenu.h"

#include <algorithm>

namespace parlendo::DetectMenu {

namespace {
const char* const toggleOn = "감지 켜기  (⌥ 두 번)";
const char* const toggleOff = "감지 끄기  (⌥ 두 번)";
}  // namespace

Lines lines(const DetectState& state, const std::vector<SettingShows>& settings,
            bool settingsLoaded) {
    if (!state.enabled) {
        return Lines{"○ 감지 꺼짐", toggleOn, std::nullopt};
    }
    if (!state.permissionGranted || !state.loggedIn || !state.healthy) {
        // With detection on, the blocker is the first failing condition.
        return Lines{"⚠️ 감지를 켰지만 멈춰 있어요: " + state.blocker().value_or(""),
                     toggleOff, std::nullopt};
    }
    std::string popups;
    if (!settingsLoaded) {
        popups = "팝업 설정을 아직 읽지 못했어요 — 기본값으로 띄워요";
    } else if (settings.empty()) {
        popups = "⚠️ 켜 둔 팝업 설정이 없어요 — 관리 창에서 켜세요";
    } else {
        const auto words = std::count_if(settings.begin(), settings.end(),
                                         [](const SettingShows& s) { return s.word; });
        const auto sentences = std::count_if(settings.begin(), settings.end(),
                                             [](const SettingShows& s) { return s.sentence; });
        popups = "팝업 설정 " + std::to_string(settings.size()) + "개 켜짐 (단어 " +
                 std::to_string(words) + " · 문장 " + std::to_string(sentences) + ")";
    }
    return Lines{"● 감지 중 — 글을 선택하고 ⌥⌘ 를 같이 누르세요", toggleOff, popups};
}

}  // namespace parlendo::DetectMenu
