#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Why a capture showed no card, told to the user as a short notice. The raw value is the log name.
enum class CaptureNotice {
    notEnglish,
    fewWords,
    codeLike,
    callLike,
    noWordPopup,
    noSentencePopup,
};

inline constexpr std::array<CaptureNotice, 6> allCaptureNotices{
    CaptureNotice::notEnglish, CaptureNotice::fewWords,    CaptureNotice::codeLike,
    CaptureNotice::callLike,   CaptureNotice::noWordPopup, CaptureNotice::noSentencePopup,
};

// "not_english", "few_words", ...
std::string_view toString(CaptureNotice notice);
// Exactly the raw values.
std::optional<CaptureNotice> captureNoticeFromString(std::string_view raw);
// The text shown to the user.
std::string_view captureNoticeText(CaptureNotice notice);
// The notice for a classifier's skip reason; any other reason, and none, is `notEnglish`.
CaptureNotice captureNoticeForSkip(const std::optional<std::string>& reason);

}  // namespace parlendo
