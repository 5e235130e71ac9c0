#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parlendo {

// The one place where text is measured and converted. All text is UTF-8 std::string; these
// helpers count the three units the program needs (user-perceived characters, code points,
// UTF-16 units) and never fail on invalid UTF-8: every invalid byte sequence reads as U+FFFD.
namespace text {

bool isValidUtf8(std::string_view s);

// `s` with every invalid sequence replaced by U+FFFD (valid text is returned unchanged).
std::string sanitize(std::string_view s);

// Code points (Unicode scalars) and back.
std::u32string toCodePoints(std::string_view s);
std::string fromCodePoints(std::u32string_view cps);
std::string fromCodePoint(char32_t cp);

size_t codePointCount(std::string_view s);
// User-perceived characters (extended grapheme clusters).
size_t characterCount(std::string_view s);
size_t utf16Count(std::string_view s);
// The longest beginning of `s` of at most `n` UTF-16 units that does not split a surrogate pair.
std::string_view utf16Prefix(std::string_view s, size_t n);

// The first `n` user-perceived characters.
std::string characterPrefix(std::string_view s, size_t n);

// Unicode normalisation forms.
std::string nfc(std::string_view s);
std::string nfkc(std::string_view s);

// The platform's whitespace-and-newlines set (the Unicode White_Space property: tab to carriage
// return, space, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
bool isWhitespaceOrNewline(char32_t cp);
// `s` without leading and trailing scalars of that set; invalid bytes are not whitespace.
std::string_view trimWhitespaceAndNewlines(std::string_view s);

// The platform's standard lower-casing: every code point's full lower-case mapping in the root
// locale, each on its own, so without the final-sigma rule ("ΟΔΟΣ" gives "οδοσ"; PyText::lower
// gives "οδος").
std::string lowercased(std::string_view s);

// Simple ASCII helpers for protocol text (header names, schemes, hosts).
std::string asciiLower(std::string_view s);
std::string asciiUpper(std::string_view s);
bool asciiIEquals(std::string_view a, std::string_view b);
bool startsWith(std::string_view s, std::string_view prefix);
bool endsWith(std::string_view s, std::string_view suffix);
// `s` without leading and trailing ASCII space, tab, CR and LF.
std::string_view trimAscii(std::string_view s);

}  // namespace text
}  // namespace parlendo
