#pragma once

#include "manage/ThemeMode.h"

#include <array>
#include <optional>
#include <string>

namespace parlendo {

// The scripts through which the native side talks to the manage page, and the overlay that
// adapts a page written for Windows keys and wording to the Mac: key presses made the Mac way
// are rewritten into the keys the page listens for, and the page's wording is rewritten while it
// is drawn. Pure functions returning script text; nothing here runs a script.
//
// The Linux window injects `linuxScript` in place of `script`: the page already speaks of the
// keys and words of this platform, so its overlay object rewrites nothing and plans no keys.
namespace MacOverlay {

struct KeyRow {
    const char* mac;
    const char* windows;
    const char* what;
};
struct PhraseRow {
    const char* before;
    const char* after;
};

// The key rewrites the overlay makes (documentation; only the row count is logged).
extern const std::array<KeyRow, 8> keys;
// Wording replacements, applied in this order to text the page draws.
extern const std::array<PhraseRow, 24> phrases;
// Elements whose name can be edited (folder and source names, cards and documents that open).
extern const char* const renameSelector;

inline constexpr const char* sessionEndedMessage = "로그아웃되었습니다. 다시 로그인해 주세요.";

// The overlay script for every page load: defines `__prlMac` (replaceText, plan, phrases) and,
// in a document, rewrites keys and wording.
std::string script();
// The overlay object this platform injects: the same globals, with no phrases and no key plan.
std::string linuxScript();
// How many phrase and key rows the injected overlay applies.
inline constexpr int linuxPhraseCount = 0;
inline constexpr int linuxKeyCount = 0;

// Injected at document start: holds the native mode on the root element until the page's own
// theme code has adopted it, and defines `__prlTheme(mode)`.
std::string themeSeed(ThemeMode mode);
// Switches a loaded page to `mode`; completes with true when the page re-rendered.
std::string themeScript(ThemeMode mode);
// Makes a signed-in page leave to its sign-in screen with `message`; true when it did.
std::string leaveScript(const std::string& message);
// Makes a page on its sign-in screen check the sign-in again; true when it did.
std::string reenterScript();
// True when the page reports unsaved edits.
std::string dirtyScript();

struct Push {
    std::string name;
    std::string script;
    bool operator==(const Push&) const = default;
};
// What to push into the page after a change of the signed-in state: nothing when it did not
// change or when a sign-in call of the page itself is running.
std::optional<Push> push(bool wasLoggedIn, bool isLoggedIn, bool screenAuthCallInFlight);

// `text` as a JavaScript string literal (a JSON string); `""` when it cannot be written.
std::string literal(const std::string& text);

}  // namespace MacOverlay
}  // namespace parlendo
