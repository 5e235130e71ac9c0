#pragma once

#include "aitalk/AnswerState.h"
#include "manage/ThemeMode.h"

#include <optional>
#include <string>

namespace parlendo {

// The web page of the answer window: its HTML document (strict content policy, styles, the page
// script with its API `window.__answer`), the JSON shown on each redraw and the theme switch.
// Markdown and mathematics are rendered by a block borrowed from the bundled renderer page, when
// it passes its checks; otherwise answers are plain text. Pure; any thread.
namespace AnswerPage {

struct Built {
    std::string html;
    // The renderer block was taken from the bundled page.
    bool usesWindowsRenderer = false;
};

inline constexpr const char* contentPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src 'none'; "
    "connect-src 'none'; font-src 'none'";

// The page from the bundled renderer page's text (none when it is missing) in a theme.
Built build(const std::optional<std::string>& windowsHTML, ThemeMode theme);

// The argument of `__answer.show` for a state.
std::string payload(const AnswerState& state);

// "__answer.theme('light')" or "__answer.theme('dark')".
std::string themeScript(ThemeMode mode);

// The parts of the page, for tests.
std::string fallbackStyle();
std::string overrideStyle();
std::string pageScript();
std::optional<std::string> rendererBlock(const std::string& windowsHTML);
std::optional<std::string> styleBlock(const std::string& windowsHTML);

}  // namespace AnswerPage
}  // namespace parlendo
