#pragma once

// Conversions between UTF-8 and ICU's strings, for the foundation's .cpp files that work through
// ICU. Keep this header out of public headers.

#include <unicode/unistr.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace parlendo::icutext {

// Invalid UTF-8 sequences become U+FFFD.
inline icu::UnicodeString toUnicode(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

inline std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

}  // namespace parlendo::icutext
