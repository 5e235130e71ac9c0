#pragma once

#include "projects/DriveFailure.h"

#include <string>

namespace parlendo {

// Every text of AI talk that a user reads (before the platform words are applied where it is
// shown), and the messages of failure codes and rejection reasons.
namespace AITalkText {

inline constexpr const char* busy = "앞의 질문에 답하는 중이에요 — 답이 온 뒤에 다시 눌러 주세요";
inline constexpr const char* noText =
    "복사된 글자가 없음 — 글을 선택하고 ⌘ 를 누른 채 C 를 두 번 누르세요";
inline constexpr const char* noPopup = "켜진 AI 팝업이 없음";
inline constexpr const char* notFound = "켜 둔 드라이브 문서가 아닌 것 같음";
inline constexpr const char* retry = "지금 답을 못 받았어요. 다시 시도해 주세요";
inline constexpr const char* thinking = "생각 중";
inline constexpr const char* selectionOnlyButton = "그냥 답 받기";
inline constexpr const char* addToDriveButton = "이 드라이브에 추가";
inline constexpr const char* retryButton = "다시 시도";
inline constexpr const char* sendButton = "보내기";
inline constexpr const char* inputHint = "이어서 묻기…";
inline constexpr const char* closeHelp = "닫기";
inline constexpr const char* timerHelp = "자동으로 닫히기까지";
inline constexpr const char* login = "다시 로그인해 주세요";
inline constexpr const char* network = "인터넷 연결을 확인해 주세요";
inline constexpr const char* quota =
    "지금은 AI 사용 한도에 걸렸어요. 잠시 뒤 다시 시도해 주세요 (1분 5회 · 하루 100회)";
inline constexpr const char* quotaMinute = "잠깐 쉬었다가 다시 물어봐 주세요 (1분에 5번까지)";
inline constexpr const char* quotaDay =
    "오늘 AI 사용량을 다 썼어요 (하루 100번). 내일 다시 쓸 수 있어요";
inline constexpr const char* turnLimit = "이 대화는 20번까지 이어 물을 수 있음";
inline constexpr const char* updateRequired = "새 버전으로 업데이트해 주세요";

// The message of a failure.
std::string error(const DriveFailure& failure);
// The message of a rejection reason.
std::string rejected(const std::string& reason);

}  // namespace AITalkText
}  // namespace parlendo
