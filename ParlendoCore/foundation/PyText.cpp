#include "foundation/PyText.h"

#include "foundation/IcuText.h"
#include "foundation/Text.h"

#include <unicode/locid.h>

namespace parlendo::PyText {

bool isSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 ||
           c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string strip(std::string_view text) {
    const std::u32string cps = text::toCodePoints(text);
    size_t begin = 0;
    size_t end = cps.size();
    while (begin < end && isSpace(cps[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(cps[end - 1])) {
        --end;
    }
    if (begin == 0 && end == cps.size() && text::isValidUtf8(text)) {
        return std::string(text);
    }
    return text::fromCodePoints(std::u32string_view(cps).substr(begin, end - begin));
}

size_t count(std::string_view text) {
    return text::codePointCount(text);
}

std::string prefix(std::string_view text, size_t n) {
    const std::u32string cps = text::toCodePoints(text);
    if (n >= cps.size()) {
        return text::sanitize(text);
    }
    return text::fromCodePoints(std::u32string_view(cps).substr(0, n));
}

std::string lower(std::string_view text) {
    bool ascii = true;
    for (unsigned char c : text) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return text::asciiLower(text);
    }
    // The root locale's full lower-case mapping applies the final-sigma rule in the same context
    // (cased before, skipping case-ignorables; no cased after) and no language-specific rules.
    icu::UnicodeString u = icutext::toUnicode(text);
    u.toLower(icu::Locale::getRoot());
    return icutext::toUtf8(u);
}

bool same(std::string_view a, std::string_view b) {
    if (text::isValidUtf8(a) && text::isValidUtf8(b)) {
        return a == b;
    }
    return text::toCodePoints(a) == text::toCodePoints(b);
}

}  // namespace parlendo::PyText
