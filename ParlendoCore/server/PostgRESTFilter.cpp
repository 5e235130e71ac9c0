#include "server/PostgRESTFilter.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace parlendo::PostgRESTFilter {

bool allowed(char32_t codePoint) {
    if (codePoint == '-' || codePoint == '_' || codePoint == '~') {
        return true;
    }
    auto mask = U_GET_GC_MASK(static_cast<UChar32>(codePoint));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

std::string value(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto encode = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            auto byte = static_cast<unsigned char>(text[i]);
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    };
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 cp = 0;
        U8_NEXT(bytes, i, length, cp);
        if (cp >= 0 && allowed(static_cast<char32_t>(cp))) {
            out.append(text.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
        } else {
            encode(static_cast<size_t>(start), static_cast<size_t>(i));
        }
    }
    return out;
}

}  // namespace parlendo::PostgRESTFilter
