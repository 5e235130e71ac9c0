#include "capture/InputClassify.h"

#include "foundation/Text.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

namespace parlendo {

namespace {

constexpr std::string_view reasonNotWord = "단어 아님";
constexpr std::string_view reasonNoEnglish = "영문 없음";
constexpr std::string_view reasonFewWords = "영단어 부족";
constexpr std::string_view reasonCode = "코드/URL 꼴";
constexpr std::string_view reasonCall = "코드 꼴(함수 호출)";

// One user-perceived character: its first code point and its bytes.
struct Character {
    char32_t first;
    size_t begin;
    size_t end;
};

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

char32_t scalarAt(std::string_view s, size_t at) {
    UChar32 c = 0;
    auto i = static_cast<int32_t>(at);
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, static_cast<int32_t>(s.size()), c);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

// The character break iterator of this thread, made once (nullptr if ICU cannot make one).
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    return iterator.get();
}

// Calls `visit` with each character of `s` in order until it returns false. ASCII text is walked
// bytewise (CR LF is its one two-byte character); other text by ICU's character boundaries over
// the UTF-8 bytes, so invalid sequences read as U+FFFD and never stop the walk.
template <typename Visit>
void forEachCharacter(std::string_view s, Visit&& visit) {
    if (isAscii(s)) {
        for (size_t i = 0; i < s.size(); ++i) {
            const size_t end = s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n' ? i + 2 : i + 1;
            if (!visit(Character{static_cast<char32_t>(s[i]), i, end})) {
                return;
            }
            i = end - 1;
        }
        return;
    }
    icu::BreakIterator* breaks = characterBreaks();
    UErrorCode status = U_ZERO_ERROR;
    UText ut = UTEXT_INITIALIZER;
    utext_openUTF8(&ut, s.data(), static_cast<int64_t>(s.size()), &status);
    if (breaks != nullptr && U_SUCCESS(status)) {
        breaks->setText(&ut, status);
    }
    if (breaks == nullptr || U_FAILURE(status)) {
        // Without boundaries every code point stands for itself.
        utext_close(&ut);
        size_t i = 0;
        while (i < s.size()) {
            const size_t begin = i;
            auto at = static_cast<int32_t>(i);
            U8_FWD_1(reinterpret_cast<const uint8_t*>(s.data()), at,
                     static_cast<int32_t>(s.size()));
            i = static_cast<size_t>(at);
            if (!visit(Character{scalarAt(s, begin), begin, i})) {
                return;
            }
        }
        return;
    }
    int32_t begin = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
         begin = end, end = breaks->next()) {
        const auto from = static_cast<size_t>(begin);
        if (!visit(Character{scalarAt(s, from), from, static_cast<size_t>(end)})) {
            break;
        }
    }
    // The iterator keeps a shallow clone of `ut`; it is always given new text before its next use.
    utext_close(&ut);
}

bool isLetterOrNumber(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
    const auto cp = static_cast<UChar32>(c);
    return u_hasBinaryProperty(cp, UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(cp, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// ASCII letters are single bytes that never occur inside a multi-byte sequence, so byte scans
// find exactly what "[A-Za-z]" and "[A-Za-z]{2,}" find.
bool hasAsciiLetter(std::string_view s) {
    for (char c : s) {
        if (isAsciiLetter(c)) {
            return true;
        }
    }
    return false;
}

size_t asciiLetterRuns(std::string_view s, size_t minimum) {
    size_t runs = 0;
    size_t run = 0;
    for (char c : s) {
        if (isAsciiLetter(c)) {
            if (++run == minimum) {
                ++runs;
            }
        } else {
            run = 0;
        }
    }
    return runs;
}

// The single character a character is equal to, if it is one of the code characters: an ASCII
// character standing alone, or U+1FEF, which is canonically the grave accent.
char codeCharacter(std::string_view s, const Character& c) {
    const size_t length = c.end - c.begin;
    char ascii = 0;
    if (length == 1) {
        ascii = s[c.begin];
    } else if (c.first == U'\u1FEF' && length == 3) {
        ascii = '`';
    }
    switch (ascii) {
        case '{':
        case '}':
        case '[':
        case ']':
        case '<':
        case '>':
        case '=':
        case '\\':
        case '|':
        case '_':
        case '`':
        case '~':
        case '@':
        case '#':
        case '$':
        case '^':
        case '*':
        case '/':
        case '+':
            return ascii;
        default:
            return 0;
    }
}

bool isOpener(std::string_view s, const Character& c) {
    return c.end - c.begin == 1 && (s[c.begin] == '(' || s[c.begin] == '{' || s[c.begin] == '[');
}

bool hasWhitespaceCharacter(std::string_view s) {
    bool found = false;
    forEachCharacter(s, [&](const Character& c) {
        found = text::isWhitespaceOrNewline(c.first);
        return !found;
    });
    return found;
}

}  // namespace

InputClassify::Decision InputClassify::classify(std::string_view text) {
    const std::string_view trimmed = text::trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) {
        return Skip{};
    }
    if (hasWhitespaceCharacter(trimmed)) {
        if (auto reason = sentenceGuard(trimmed)) {
            return Skip{std::move(reason)};
        }
        return Sentence{text::sanitize(trimmed)};
    }
    std::string word = cleanWord(trimmed);
    if (word.empty()) {
        return Skip{};
    }
    if (text::codePointCount(word) > maxWordLength || !hasAsciiLetter(word)) {
        return Skip{std::string(reasonNotWord)};
    }
    return Word{std::move(word)};
}

std::string InputClassify::cleanWord(std::string_view text) {
    size_t begin = text.size();
    size_t end = 0;
    forEachCharacter(text, [&](const Character& c) {
        if (isLetterOrNumber(c.first)) {
            begin = std::min(begin, c.begin);
            end = c.end;
        }
        return true;
    });
    if (begin >= end) {
        return {};
    }
    return text::sanitize(text.substr(begin, end - begin));
}

std::optional<std::string> InputClassify::sentenceGuard(std::string_view text) {
    const size_t n = text::codePointCount(text);
    if (n > maxSentenceLength) {
        return "길이 초과(" + std::to_string(n) + "자)";
    }
    if (!hasAsciiLetter(text)) {
        return std::string(reasonNoEnglish);
    }
    if (asciiLetterRuns(text, 2) < 2) {
        return std::string(reasonFewWords);
    }
    // One walk serves both tests; two code characters decide before any call does.
    size_t codeCharacters = 0;
    bool call = false;
    std::optional<Character> previous;
    forEachCharacter(text, [&](const Character& c) {
        if (codeCharacter(text, c) != 0) {
            ++codeCharacters;
        }
        if (!call && previous && isOpener(text, c)) {
            const bool underscore =
                previous->end - previous->begin == 1 && text[previous->begin] == '_';
            call = underscore || isLetterOrNumber(previous->first);
        }
        previous = c;
        return codeCharacters < 2;
    });
    if (codeCharacters >= 2) {
        return std::string(reasonCode);
    }
    if (call) {
        return std::string(reasonCall);
    }
    return std::nullopt;
}

std::optional<size_t> InputClassify::overLength(std::string_view text) {
    const std::string_view trimmed = text::trimWhitespaceAndNewlines(text);
    const size_t n = text::codePointCount(trimmed);
    if (n <= maxSentenceLength || !hasWhitespaceCharacter(trimmed)) {
        return std::nullopt;
    }
    return n;
}

}  // namespace parlendo
