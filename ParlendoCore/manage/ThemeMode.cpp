#include "manage/ThemeMode.h"

namespace parlendo {

const char* toString(ThemeMode mode) {
    switch (mode) {
        case ThemeMode::light:
            return "light";
        case ThemeMode::dark:
            return "dark";
    }
    return "light";
}

std::optional<ThemeMode> themeModeFromString(std::string_view text) {
    if (text == "light") {
        return ThemeMode::light;
    }
    if (text == "dark") {
        return ThemeMode::dark;
    }
    return std::nullopt;
}

}  // namespace parlendo
