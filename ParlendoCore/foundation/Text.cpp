#include "foundation/Text.h"

#include "foundation/IcuText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

#include <memory>

namespace parlendo::text {

namespace {

using icutext::toUnicode;
using icutext::toUtf8;

// Decodes one code point at `i`, advancing it; invalid sequences give U+FFFD (one per maximal
// invalid subpart, as ICU and the W3C decoders do).
char32_t next(std::string_view s, size_t& i) {
    UChar32 c = 0;
    int32_t idx = static_cast<int32_t>(i);
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    U8_NEXT(bytes, idx, static_cast<int32_t>(s.size()), c);
    i = static_cast<size_t>(idx);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

void append(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isAsciiOnly(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string normalize(std::string_view s, const icu::Normalizer2* (*get)(UErrorCode&)) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = get(status);
    if (U_FAILURE(status) || n == nullptr) {
        return sanitize(s);
    }
    icu::UnicodeString u = toUnicode(s);
    icu::UnicodeString result = n->normalize(u, status);
    if (U_FAILURE(status)) {
        return sanitize(s);
    }
    return toUtf8(result);
}

// One grapheme-cluster iterator per thread: making one costs far more than using it.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_FAILURE(status) ? nullptr : std::move(it);
    }();
    return iterator.get();
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        UChar32 c = 0;
        int32_t idx = static_cast<int32_t>(i);
        U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), idx, static_cast<int32_t>(s.size()), c);
        if (c < 0) {
            return false;
        }
        i = static_cast<size_t>(idx);
    }
    return true;
}

std::string sanitize(std::string_view s) {
    if (isValidUtf8(s)) {
        return std::string(s);
    }
    std::string out;
    out.reserve(s.size() + 8);
    size_t i = 0;
    while (i < s.size()) {
        append(out, next(s, i));
    }
    return out;
}

std::u32string toCodePoints(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        out.push_back(next(s, i));
    }
    return out;
}

std::string fromCodePoints(std::u32string_view cps) {
    std::string out;
    out.reserve(cps.size());
    for (char32_t cp : cps) {
        append(out, cp);
    }
    return out;
}

std::string fromCodePoint(char32_t cp) {
    std::string out;
    append(out, cp);
    return out;
}

size_t codePointCount(std::string_view s) {
    size_t count = 0;
    size_t i = 0;
    while (i < s.size()) {
        next(s, i);
        ++count;
    }
    return count;
}

size_t characterCount(std::string_view s) {
    if (s.empty()) {
        return 0;
    }
    if (isAsciiOnly(s)) {
        // CR LF is the one ASCII pair that forms a single character.
        size_t count = s.size();
        for (size_t i = 0; i + 1 < s.size(); ++i) {
            if (s[i] == '\r' && s[i + 1] == '\n') {
                --count;
            }
        }
        return count;
    }
    icu::BreakIterator* it = characterIterator();
    if (it == nullptr) {
        return codePointCount(s);
    }
    icu::UnicodeString u = toUnicode(s);
    it->setText(u);
    size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) {
        ++count;
    }
    return count;
}

std::string characterPrefix(std::string_view s, size_t n) {
    if (n == 0) {
        return {};
    }
    icu::UnicodeString u = toUnicode(s);
    icu::BreakIterator* it = characterIterator();
    if (it == nullptr) {
        return toUtf8(u.tempSubString(0, static_cast<int32_t>(n)));
    }
    it->setText(u);
    int32_t end = 0;
    size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE && count < n; p = it->next()) {
        end = p;
        ++count;
    }
    return toUtf8(u.tempSubString(0, end));
}

size_t utf16Count(std::string_view s) {
    size_t count = 0;
    size_t i = 0;
    while (i < s.size()) {
        count += next(s, i) > 0xFFFF ? 2 : 1;
    }
    return count;
}

std::string_view utf16Prefix(std::string_view s, size_t n) {
    size_t count = 0;
    size_t i = 0;
    while (i < s.size()) {
        size_t after = i;
        count += next(s, after) > 0xFFFF ? 2 : 1;
        if (count > n) {
            break;
        }
        i = after;
    }
    return s.substr(0, i);
}

std::string nfc(std::string_view s) {
    if (isAsciiOnly(s)) {
        return std::string(s);
    }
    return normalize(s, &icu::Normalizer2::getNFCInstance);
}

std::string nfkc(std::string_view s) {
    if (isAsciiOnly(s)) {
        return std::string(s);
    }
    return normalize(s, &icu::Normalizer2::getNFKCInstance);
}

bool isWhitespaceOrNewline(char32_t cp) {
    if (cp < 0x80) {
        return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
    }
    return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
           cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::string_view trimWhitespaceAndNewlines(std::string_view s) {
    size_t start = 0;
    while (start < s.size()) {
        size_t i = start;
        if (!isWhitespaceOrNewline(next(s, i))) {
            break;
        }
        start = i;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    int32_t end = static_cast<int32_t>(s.size());
    while (static_cast<size_t>(end) > start) {
        int32_t at = end;
        UChar32 c = 0;
        U8_PREV(bytes, static_cast<int32_t>(start), at, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            break;
        }
        end = at;
    }
    return s.substr(start, static_cast<size_t>(end) - start);
}

std::string lowercased(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const char32_t cp = next(s, i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp));
            continue;
        }
        // Alone, a code point has no context: no contextual rule can apply.
        icu::UnicodeString one(static_cast<UChar32>(cp));
        one.toLower(icu::Locale::getRoot());
        out += toUtf8(one);
    }
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool asciiIEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.starts_with(prefix);
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.ends_with(suffix);
}

std::string_view trimAscii(std::string_view s) {
    auto isTrim = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    };
    while (!s.empty() && isTrim(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isTrim(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace parlendo::text
