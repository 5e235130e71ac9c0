#include "auth/AccountTypes.h"

#include "foundation/Text.h"

namespace parlendo {

const char* toString(RestoreOutcome outcome) {
    switch (outcome) {
        case RestoreOutcome::ready:
            return "authenticated";
        case RestoreOutcome::needLogin:
            return "need_login";
        case RestoreOutcome::reauthRequired:
            return "reauth_required";
        case RestoreOutcome::offline:
            return "offline_or_unavailable";
    }
    return "need_login";
}

std::optional<RestoreOutcome> restoreOutcomeFromString(std::string_view text) {
    for (auto outcome : {RestoreOutcome::ready, RestoreOutcome::needLogin,
                         RestoreOutcome::reauthRequired, RestoreOutcome::offline}) {
        if (text == toString(outcome)) {
            return outcome;
        }
    }
    return std::nullopt;
}

}  // namespace parlendo

namespace parlendo {
namespace {

bool isSpaceSeparator(char32_t c) {
    return c == U'\t' || c == U' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

template <class Pred>
std::string trimWith(std::string_view text, Pred strip) {
    std::u32string points = text::toCodePoints(text);
    size_t begin = 0;
    size_t end = points.size();
    while (begin < end && strip(points[begin])) {
        ++begin;
    }
    while (end > begin && strip(points[end - 1])) {
        --end;
    }
    if (begin == 0 && end == points.size()) {
        return std::string(text);
    }
    return text::fromCodePoints(std::u32string_view(points).substr(begin, end - begin));
}

}  // namespace

std::string trimWhitespaceAndNewlines(std::string_view text) {
    return trimWith(text, [](char32_t c) { return isSpaceSeparator(c) || isLineBreak(c); });
}

std::string trimWhitespace(std::string_view text) {
    return trimWith(text, isSpaceSeparator);
}

}  // namespace parlendo
