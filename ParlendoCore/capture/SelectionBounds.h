#pragma once

#include "popups/PopupBody.h"

#include <optional>
#include <vector>

namespace parlendo {

// A rectangle as the desktop reports it: pixels, origin at the top left of the primary monitor,
// y growing downward (the accessibility bus's screen coordinates moved to the primary monitor).
struct DesktopRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const DesktopRect&) const = default;
};

// The rules for the on-screen rectangle of a selection.
namespace SelectionBounds {

// A desktop rectangle in card coordinates (origin at the bottom left of the primary monitor,
// y up): x, width and height unchanged, y = primaryHeight - (y + height).
PopupRect appKitRect(double x, double y, double width, double height, double primaryHeight);
PopupRect appKitRect(const DesktopRect& rect, double primaryHeight);

// Whether a selection rectangle can be trusted: finite, at least 1 by 1, and on some screen
// that it overlaps strictly on both axes while being at most 80 % of that screen's height.
bool plausible(const PopupRect& rect, const std::vector<PopupRect>& screens);

// The smallest rectangle holding all; none for an empty list.
std::optional<PopupRect> unionOf(const std::vector<PopupRect>& rects);

}  // namespace SelectionBounds
}  // namespace parlendo
