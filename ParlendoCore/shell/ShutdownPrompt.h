#pragma once

#include <array>
#include <string>

namespace parlendo {

// The question asked when work is still in flight after the quit drain: its texts and the choice
// each button stands for.
namespace ShutdownPrompt {

enum class Choice { waitMore, cancel, quitAnyway };
const char* toString(Choice choice);

inline constexpr const char* title = "아직 저장이 끝나지 않았어요";
// In the order they are added; the first is the default.
inline constexpr std::array<const char*, 3> buttons = {"더 기다리기", "종료 취소", "그냥 종료"};

std::string message(int remaining, int unsaved);
// 0 waits more, 2 quits anyway, anything else cancels.
Choice choice(int button);

}  // namespace ShutdownPrompt
}  // namespace parlendo
