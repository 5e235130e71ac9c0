#include "aitalk/PageText.h"

#include "foundation/PyText.h"
#include "foundation/Text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <set>

namespace parlendo {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The next scalar of well-formed UTF-8 (what ICU hands back); a broken sequence reads as U+FFFD.
char32_t next(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
    if (length == 1 || i + static_cast<size_t>(length) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = b0 & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += static_cast<size_t>(length);
    return c;
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isWordScalar(char32_t c) {
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// The full lower-case mapping of one scalar, as UTF-8.
void appendLower(std::string& out, char32_t c) {
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, static_cast<UChar32>(c));
    UChar lowered[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strToLower(lowered, 8, source, sourceLength, "", &status);
    if (U_FAILURE(status) || length > 8) {
        append(out, c);
        return;
    }
    for (int32_t k = 0; k < length;) {
        UChar32 cp = 0;
        U16_NEXT(lowered, k, length, cp);
        append(out, static_cast<char32_t>(cp));
    }
}

}  // namespace

namespace PageText {

std::string normalize(std::string_view input) {
    std::string out;
    if (isAscii(input)) {
        out.reserve(input.size());
        for (char ch : input) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
                out += ch;
            } else if (c >= 'A' && c <= 'Z') {
                out += static_cast<char>(c | 0x20);
            }
        }
        return out;
    }
    const std::string text = text::nfkc(input);
    out.reserve(text.size());
    const std::string_view s(text);
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        const char32_t c = next(s, i);
        if (c < 0x80) {
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
                out += static_cast<char>(c);
            } else if (c >= 'A' && c <= 'Z') {
                out += static_cast<char>(c | 0x20);
            }
        } else if (c >= 0xAC00 && c <= 0xD7A3) {
            out.append(s.substr(at, i - at));
        } else if (isWordScalar(c)) {
            appendLower(out, c);
        }
    }
    return out;
}

Words words(std::string_view input) {
    const std::string text = PyText::lower(text::nfkc(input));
    Words out;
    const std::string_view s(text);
    size_t wordStart = 0;
    size_t scalars = 0;
    auto finish = [&](size_t end) {
        if (scalars >= 2) {
            out.emplace(s.substr(wordStart, end - wordStart));
        }
        scalars = 0;
    };
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        const char32_t c = next(s, i);
        const bool inWord =
            c < 0x80 ? ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                     : isWordScalar(c);
        if (inWord) {
            if (scalars == 0) {
                wordStart = at;
            }
            ++scalars;
        } else {
            finish(at);
        }
    }
    finish(s.size());
    return out;
}

}  // namespace PageText

namespace PageOrder {

std::vector<int> around(const std::vector<int>& hints, int count) {
    std::vector<int> out;
    if (count <= 0) {
        return out;
    }
    std::set<int> kept;
    for (int p : hints) {
        if (p >= 1 && p <= count) {
            kept.insert(p);
        }
    }
    out.reserve(static_cast<size_t>(count));
    if (kept.empty()) {
        for (int p = 1; p <= count; ++p) {
            out.push_back(p);
        }
        return out;
    }
    std::vector<bool> present(static_cast<size_t>(count) + 1, false);
    auto add = [&](int p) {
        if (p >= 1 && p <= count && !present[static_cast<size_t>(p)]) {
            present[static_cast<size_t>(p)] = true;
            out.push_back(p);
        }
    };
    const int lo = *kept.begin();
    const int hi = *kept.rbegin();
    for (int p : kept) {
        add(p);
    }
    for (int p = lo; p <= hi; ++p) {
        add(p);
    }
    for (int d = 1; static_cast<int>(out.size()) < count; ++d) {
        add(hi + d);
        add(lo - d);
    }
    return out;
}

}  // namespace PageOrder
}  // namespace parlendo
