#pragma once

#include <optional>

namespace parlendo {

// The manage window's size: 1100 × 760 where the screen allows, never larger than the screen's
// visible area, with a minimum that never exceeds the initial size.
namespace ManageLayout {

inline constexpr double width = 1100;
inline constexpr double height = 760;
inline constexpr double minWidth = 720;
inline constexpr double minHeight = 480;

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};
struct WindowSize {
    Size initial;
    Size minimum;
    bool operator==(const WindowSize&) const = default;
};

// `visible`: the size of the main screen's visible area, when there is a main screen.
WindowSize windowSize(std::optional<Size> visible);

}  // namespace ManageLayout
}  // namespace parlendo
