#include "foundation/PlatformWords.h"

#include "foundation/Text.h"

#include <array>
#include <optional>
#include <utility>

namespace parlendo::PlatformWords {
namespace {

constexpr char32_t optionKey = U'\u2325';
constexpr char32_t commandKey = U'\u2318';
// The isolates around a value; U+2066 and U+2067 open one as well.
constexpr char32_t valueStart = U'\u2068';
constexpr char32_t valueEnd = U'\u2069';

bool opensIsolate(char32_t c) {
    return c >= U'\u2066' && c <= valueStart;
}

// Where the value that starts at `i` ends (the index of its closing mark, or the end of the text
// when it is not closed), isolates nested in it included.
size_t valueEndAt(const std::u32string& in, size_t i) {
    int depth = 0;
    for (size_t j = i; j < in.size(); ++j) {
        if (opensIsolate(in[j])) {
            ++depth;
        } else if (in[j] == valueEnd && --depth == 0) {
            return j;
        }
    }
    return in.size();
}

bool isAsciiAlnum(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

bool isHangul(char32_t c) {
    return c >= U'\uAC00' && c <= U'\uD7A3';
}

// How a word ends, as a particle after it hears it: in a vowel, in ㄹ (which takes 로 like a
// vowel), or in another consonant.
enum class Ending { vowel, rieul, consonant };

// A particle's form after a consonant and after a vowel. One marked `wordEnd` counts only when no
// Hangul syllable follows it (이 and 가 begin many words).
struct Particle {
    std::u32string_view consonant;
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

std::u32string_view fitted(const Particle& p, Ending ending) {
    if (ending == Ending::vowel || (ending == Ending::rieul && p.consonant == U"으로")) {
        return p.vowel;
    }
    return p.consonant;
}

// The particle written at `at`, in either form, and where it ends.
std::optional<std::pair<const Particle*, size_t>> particleAt(const std::u32string& in, size_t at) {
    for (const auto& p : particles) {
        for (const auto form : {p.consonant, p.vowel}) {
            if (in.compare(at, form.size(), form) != 0) {
                continue;
            }
            const size_t end = at + form.size();
            if (p.wordEnd && end < in.size() && isHangul(in[end])) {
                continue;
            }
            return std::make_pair(&p, end);
        }
    }
    return std::nullopt;
}

// Words of the Mac replaced by the desktop's, longest first. The particle right after one is
// fitted to the new word.
struct Phrase {
    std::u32string_view mac;
    std::u32string_view desktop;
    Ending ending;
};
constexpr std::array<Phrase, 4> phrases{{
    {U"시스템 설정 → 개인정보 보호 및 보안 → 손쉬운 사용", U"설정 → 접근성", Ending::consonant},
    {U"시스템 설정 → 일반 → 로그인 항목", U"데스크톱 설정의 자동 시작 목록", Ending::consonant},
    {U"손쉬운 사용", U"접근성", Ending::consonant},
    {U"메뉴 막대", U"패널", Ending::rieul},
}};

// Copies the particle after a replaced word, fitted to how the new word ends; `skipSpace` also
// joins a particle written one space apart. Returns the index after what was consumed.
size_t fitParticle(const std::u32string& in, size_t j, Ending ending, bool skipSpace,
                   std::u32string& out) {
    const size_t at = skipSpace && j < in.size() && in[j] == U' ' ? j + 1 : j;
    const auto particle = particleAt(in, at);
    if (!particle) {
        return j;
    }
    out += fitted(*particle->first, ending);
    return particle->second;
}

bool isMacWord(const std::u32string& in, size_t i) {
    if (in.compare(i, 3, U"Mac") != 0) {
        return false;
    }
    bool startsWord = i == 0 || !isAsciiAlnum(in[i - 1]);
    bool endsWord = i + 3 >= in.size() || !isAsciiAlnum(in[i + 3]);
    return startsWord && endsWord;
}

// "Mac" at `i` becomes "컴퓨터"; a particle right after it (or one space apart, the space kept)
// is fitted to it.
size_t renderComputer(const std::u32string& in, size_t i, std::u32string& out) {
    out += U"컴퓨터";
    const size_t j = i + 3;
    const size_t at = j < in.size() && in[j] == U' ' ? j + 1 : j;
    const auto particle = particleAt(in, at);
    if (!particle) {
        return j;
    }
    out.append(in, j, at - j);
    out += fitted(*particle->first, Ending::vowel);
    return particle->second;
}

}  // namespace

std::string render(std::string_view text) {
    const std::u32string in = text::toCodePoints(text);
    std::u32string out;
    out.reserve(in.size() + 8);
    size_t i = 0;
    while (i < in.size()) {
        char32_t c = in[i];
        if (c == valueStart) {
            const size_t end = valueEndAt(in, i);
            out.append(in, i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == optionKey || c == commandKey) {
            // Alt is read 알트, Ctrl 컨트롤.
            out += c == optionKey ? U"Alt" : U"Ctrl";
            const Ending ending = c == optionKey ? Ending::vowel : Ending::rieul;
            ++i;
            if (i < in.size() &&
                (in[i] == optionKey || in[i] == commandKey || isAsciiAlnum(in[i]))) {
                out += U'+';
                continue;
            }
            i = fitParticle(in, i, ending, true, out);
            continue;
        }
        if (c == U'M' && isMacWord(in, i)) {
            i = renderComputer(in, i, out);
            continue;
        }
        const Phrase* phrase = nullptr;
        for (const auto& p : phrases) {
            if (in.compare(i, p.mac.size(), p.mac) == 0) {
                phrase = &p;
                break;
            }
        }
        if (phrase != nullptr) {
            out += phrase->desktop;
            i = fitParticle(in, i + phrase->mac.size(), phrase->ending, false, out);
            continue;
        }
        out += c;
        ++i;
    }
    return text::fromCodePoints(out);
}

std::string value(std::string_view text) {
    // U+2068 and U+2069 in UTF-8, around the value's own bytes.
    std::string marked = "\xE2\x81\xA8";
    marked += text;
    marked += "\xE2\x81\xA9";
    return marked;
}

}  // namespace parlendo::PlatformWords
