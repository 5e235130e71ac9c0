#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// Chromium-based browsers and Electron applications build their accessibility tree only once
// assistive technology is announced to them. When a direct read of such an application finds
// nothing, the selection reader announces it once per process through one of these switches of
// the accessibility bus status (org.a11y.Status), and turns it back at exit.
namespace AccessibilityBoost {

// The switch announced to Chromium-based browsers, and the one announced to Electron
// applications.
inline constexpr std::string_view chromiumAttribute = "ScreenReaderEnabled";
inline constexpr std::string_view electronAttribute = "IsEnabled";

// When false no boost is attempted. True at start.
bool enabled();
void setEnabled(bool enabled);

// The application ids of the Chromium family: the macOS bundle ids, the Linux desktop-file ids
// and the Flatpak ids.
const std::vector<std::string>& chromiumApps();

// The switch to announce for an application: the Chromium one for an id of the table, or one
// that begins with a table entry followed by "." (an edition of it); else the Electron one when
// the application ships the Electron runtime; else none. None while disabled.
std::optional<std::string> attribute(const std::optional<std::string>& bundleID,
                                     bool hasElectronFramework);

}  // namespace AccessibilityBoost
}  // namespace parlendo
