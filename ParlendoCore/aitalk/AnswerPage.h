#pragma once

#include "aitalk/AnswerState.h"
#include "manage/ThemeMode.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The web page of the answer window: its HTML document (strict content policy, styles, the page
// script with its API `window.__answer`), the JSON shown on each redraw and the theme switch.
// The policy lets only the page's own two scripts run, named by their SHA-256; the renderer
// script the window injects at document start and the scripts it evaluates are the window's, not
// the page's, and the policy does not reach them.
// Markdown and mathematics are rendered by a block borrowed from the bundled renderer page, when
// it passes its checks; otherwise answers are plain text. Pure; any thread.
namespace AnswerPage {

struct Built {
    std::string html;
    // The renderer block was taken from the bundled page.
    bool usesWindowsRenderer = false;
};

// The content policy of a page whose only scripts are these inline ones.
std::string contentPolicy(const std::vector<std::string>& scripts);

// An answer longer than this (in UTF-16 code units, as the page counts) is shown cut, with a line
// that says so.
inline constexpr int shownLength = 100000;

// The page from the bundled renderer page's text (none when it is missing) in a theme.
Built build(const std::optional<std::string>& windowsHTML, ThemeMode theme);

// The argument of `__answer.show` for a state: its answers only as far as the page shows them,
// each cut one with its whole length (`length`) for the line that says so. Takes time in
// proportion to the state's texts.
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
