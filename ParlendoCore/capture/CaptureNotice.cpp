#include "capture/CaptureNotice.h"

#include "capture/CaptureCopy.h"

namespace parlendo {

std::string_view toString(CaptureNotice notice) {
    switch (notice) {
        case CaptureNotice::notEnglish:
            return "not_english";
        case CaptureNotice::fewWords:
            return "few_words";
        case CaptureNotice::codeLike:
            return "code_like";
        case CaptureNotice::callLike:
            return "call_like";
        case CaptureNotice::noWordPopup:
            return "no_word_popup";
        case CaptureNotice::noSentencePopup:
            return "no_sentence_popup";
    }
    return "not_english";
}

std::optional<CaptureNotice> captureNoticeFromString(std::string_view raw) {
    for (auto notice : allCaptureNotices) {
        if (toString(notice) == raw) {
            return notice;
        }
    }
    return std::nullopt;
}

std::string_view captureNoticeText(CaptureNotice notice) {
    switch (notice) {
        case CaptureNotice::notEnglish:
            return CaptureCopy::skipNotEnglish;
        case CaptureNotice::fewWords:
            return CaptureCopy::skipFewWords;
        case CaptureNotice::codeLike:
            return CaptureCopy::skipCodeLike;
        case CaptureNotice::callLike:
            return CaptureCopy::skipCallLike;
        case CaptureNotice::noWordPopup:
            return CaptureCopy::skipNoWordPopup;
        case CaptureNotice::noSentencePopup:
            return CaptureCopy::skipNoSentencePopup;
    }
    return CaptureCopy::skipNotEnglish;
}

CaptureNotice captureNoticeForSkip(const std::optional<std::string>& reason) {
    if (!reason) {
        return CaptureNotice::notEnglish;
    }
    if (*reason == "영단어 부족") {
        return CaptureNotice::fewWords;
    }
    if (*reason == "코드/URL 꼴") {
        return CaptureNotice::codeLike;
    }
    if (*reason == "코드 꼴(함수 호출)") {
        return CaptureNotice::callLike;
    }
    return CaptureNotice::notEnglish;
}

}  // namespace parlendo
