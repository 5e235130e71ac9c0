#pragma once

#include <array>
#include <string>
#include <string_view>

namespace parlendo {

// The Korean texts of the capture cards and the few numbers that go with them.
namespace CaptureCopy {

inline constexpr std::string_view loadingNote = "조회 중…";
inline constexpr std::string_view generatingNote = "사전에 없어 뜻을 만드는 중…";
inline constexpr std::string_view translatingNote = "번역 중…";
inline constexpr std::string_view authRequired = "로그인이 필요해요";
inline constexpr std::string_view updateRequired = "새 버전으로 업데이트해 주세요";
inline constexpr std::string_view lookupTimeout = "서버가 늦어요 · 다시 눌러 보세요";
inline constexpr std::string_view lookupFailed = "조회하지 못했어요 (서버 연결 확인)";
inline constexpr std::string_view offline =
    "인터넷에 연결되어 있지 않아요. 인터넷 연결을 확인한 뒤 다시 시도해 주세요.";
inline constexpr std::string_view translationFailed = "번역을 가져오지 못했어요";
inline constexpr std::string_view translationQuota =
    "지금은 번역할 수 없어요. 잠시 뒤 다시 시도해 주세요.";
inline constexpr std::string_view generationUnavailable =
    "지금은 뜻을 만들 수 없어요. 잠시 뒤 다시 시도해 주세요.";
// The server refused for good to make the senses of a word it does not have.
inline constexpr std::string_view generationRefused = "사전에 없는 단어예요 · 뜻을 만들 수 없어요";
// The generation labels that mean the server failed to make senses.
inline constexpr std::array<std::string_view, 2> generationFailedCodes{"quota", "failed"};
bool isGenerationFailure(std::string_view code);

inline constexpr std::string_view skipNotEnglish = "영어 단어나 문장이 아니라서 찾지 않았어요";
inline constexpr std::string_view skipFewWords =
    "영어 문장으로 보기 어려워 번역하지 않았어요 · 단어 하나만, 아니면 더 길게 선택해 보세요";
inline constexpr std::string_view skipCodeLike =
    "코드나 주소처럼 보여 번역하지 않았어요 · [ ] / = 같은 기호를 빼고 선택해 보세요";
inline constexpr std::string_view skipCallLike =
    "코드처럼 보여 번역하지 않았어요 · 글자에 바로 붙은 괄호를 빼고 선택해 보세요";
inline constexpr std::string_view skipNoWordPopup =
    "단어를 띄울 팝업이 없거나 꺼져 있어요 · 관리 창의 팝업 설정에서 켜거나 만드세요";
inline constexpr std::string_view skipNoSentencePopup =
    "문장을 번역할 팝업이 없거나 꺼져 있어요 · 관리 창의 팝업 설정에서 켜거나 만드세요";

// The notice of a capture whose copy was not made because the clipboard could not be kept.
inline constexpr std::string_view clipboardNotSaved =
    "클립보드를 지킬 수 없어 선택한 글을 복사하지 않았어요 · 다시 눌러 보세요";

// The card of a sentence over the length limit; `count` is the selection's length.
std::string overLength(size_t count);

// Characters of a sentence shown as a card title.
inline constexpr size_t sentencePreview = 40;
// Seconds a failure card stays.
inline constexpr double failureSeconds = 2.5;
// Seconds to wait before the second and the third try to find a capture's source.
inline constexpr std::array<double, 2> sourceRetryDelays{0.4, 1.2};

}  // namespace CaptureCopy
}  // namespace parlendo
