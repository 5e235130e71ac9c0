#pragma once

#include "manage/ThemeMode.h"

#include <cstdint>
#include <map>
#include <string>

namespace parlendo {

// The colours of the answer window and its page in one theme, each 0xRRGGBB.
struct AnswerPalette {
    std::uint32_t card = 0;
    std::uint32_t ink = 0;
    std::uint32_t muted = 0;
    std::uint32_t line = 0;
    std::uint32_t soft = 0;
    std::uint32_t accent = 0;
    std::uint32_t accentInk = 0;
    std::uint32_t warn = 0;
    bool operator==(const AnswerPalette&) const = default;

    // The alpha of the send button while it is disabled, and of the text selection.
    static constexpr double disabledAccentAlpha = 0.4;
    static constexpr double selectionAlpha = 0.25;

    static const AnswerPalette light;
    static const AnswerPalette dark;
    static const AnswerPalette& of(ThemeMode mode);

    // CSS custom property name ("--card", ...) to colour text ("#fdfdfd").
    std::map<std::string, std::string> cssVariables() const;
};

}  // namespace parlendo
