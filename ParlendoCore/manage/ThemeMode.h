#pragma once

#include <optional>
#include <string_view>

namespace parlendo {

// The one light-or-dark theme shared by the native windows and the web pages.
enum class ThemeMode { light, dark };

// "light" or "dark".
const char* toString(ThemeMode mode);
// Exactly "light" or "dark" (case-sensitive); nothing for any other text.
std::optional<ThemeMode> themeModeFromString(std::string_view text);

}  // namespace parlendo
