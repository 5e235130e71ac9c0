#include "aitalk/AnswerPalette.h"

#include <cstdio>

namespace parlendo {

const AnswerPalette AnswerPalette::light{0xfdfdfd, 0x221d19, 0x6b645d, 0xe7e5eb,
                                         0xf5f4f2, 0x453e7b, 0xffffff, 0x875200};
const AnswerPalette AnswerPalette::dark{0x252523, 0xece8f2, 0xa9a3b5, 0x31312e,
                                        0x171715, 0xb8aede, 0x1f1640, 0xffb74d};

const AnswerPalette& AnswerPalette::of(ThemeMode mode) {
    switch (mode) {
        case ThemeMode::light:
            return light;
        case ThemeMode::dark:
            return dark;
    }
    return light;
}

std::map<std::string, std::string> AnswerPalette::cssVariables() const {
    auto hex = [](std::uint32_t colour) {
        char text[8];
        std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour & 0xffffff));
        return std::string(text);
    };
    return {{"--card", hex(card)},
            {"--ink", hex(ink)},
            {"--muted", hex(muted)},
            {"--line", hex(line)},
            {"--soft", hex(soft)},
            {"--accent", hex(accent)},
            {"--accent-ink", hex(accentInk)},
            {"--warn", hex(warn)}};
}

}  // namespace parlendo
