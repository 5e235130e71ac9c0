#include "foundation/PlatformWords.h"

#include "foundation/Text.h"

#include <array>
#include <utility>

namespace parlendo::PlatformWords {
namespace {

constexpr char32_t optionKey = U'\u2325';
constexpr char32_t commandKey = U'\u2318';

bool isAsciiAlnum(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

bool isHangul(char32_t c) {
    return c >= U'\uAC00' && c <= U'\uD7A3';
}

// Particles written after a word that ends in a consonant, and their form after a vowel.
// A particle marked `wordEnd` is replaced only when no Hangul syllable follows it.
struct Particle {
    std::u32string_view after;
    std::u32string_view vowel;
    bool wordEnd;
};
constexpr std::array<Particle, 5> particles{{
    {U"으로", U"로", false},
    {U"을", U"를", false},
    {U"은", U"는", false},
    {U"과", U"와", false},
    {U"이", U"가", true},
}};

// Replaces "Mac" at `i` (a whole word) and fits the particle after it; returns the index after
// what was consumed.
size_t renderComputer(const std::u32string& in, size_t i, std::u32string& out) {
    out += U"컴퓨터";
    size_t j = i + 3;
    size_t particleAt = j < in.size() && in[j] == U' ' ? j + 1 : j;
    for (const auto& p : particles) {
        if (in.compare(particleAt, p.after.size(), p.after) != 0) {
            continue;
        }
        size_t end = particleAt + p.after.size();
        if (p.wordEnd && end < in.size() && isHangul(in[end])) {
            continue;
        }
        out.append(in, j, particleAt - j);
        out += p.vowel;
        return end;
    }
    return j;
}

bool isMacWord(const std::u32string& in, size_t i) {
    if (in.compare(i, 3, U"Mac") != 0) {
        return false;
    }
    bool startsWord = i == 0 || !isAsciiAlnum(in[i - 1]);
    bool endsWord = i + 3 >= in.size() || !isAsciiAlnum(in[i + 3]);
    return startsWord && endsWord;
}

}  // namespace

std::string render(std::string_view text) {
    const std::u32string in = text::toCodePoints(text);
    std::u32string out;
    out.reserve(in.size() + 8);
    size_t i = 0;
    while (i < in.size()) {
        char32_t c = in[i];
        if (c == optionKey || c == commandKey) {
            out += c == optionKey ? U"Alt" : U"Ctrl";
            ++i;
            if (i < in.size() &&
                (in[i] == optionKey || in[i] == commandKey || isAsciiAlnum(in[i]))) {
                out += U'+';
            }
            continue;
        }
        if (c == U'M' && isMacWord(in, i)) {
            i = renderComputer(in, i, out);
            continue;
        }
        out += c;
        ++i;
    }
    return text::fromCodePoints(out);
}

}  // namespace parlendo::PlatformWords
