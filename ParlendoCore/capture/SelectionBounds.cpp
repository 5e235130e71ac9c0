#include "capture/SelectionBounds.h"

#include <algorithm>
#include <cmath>

namespace parlendo::SelectionBounds {

PopupRect appKitRect(double x, double y, double width, double height, double primaryHeight) {
    return PopupRect{x, primaryHeight - (y + height), width, height};
}

PopupRect appKitRect(const DesktopRect& rect, double primaryHeight) {
    return appKitRect(rect.x, rect.y, rect.width, rect.height, primaryHeight);
}

bool plausible(const PopupRect& rect, const std::vector<PopupRect>& screens) {
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) ||
        !std::isfinite(rect.height) || rect.width < 1 || rect.height < 1 || screens.empty()) {
        return false;
    }
    return std::any_of(screens.begin(), screens.end(), [&](const PopupRect& s) {
        return rect.height <= 0.8 * s.height && rect.x < s.x + s.width && s.x < rect.maxX() &&
               rect.y < s.y + s.height && s.y < rect.maxY();
    });
}

std::optional<PopupRect> unionOf(const std::vector<PopupRect>& rects) {
    if (rects.empty()) {
        return std::nullopt;
    }
    double minX = rects.front().x;
    double minY = rects.front().y;
    double maxX = rects.front().maxX();
    double maxY = rects.front().maxY();
    for (const auto& r : rects) {
        minX = std::min(minX, r.x);
        minY = std::min(minY, r.y);
        maxX = std::max(maxX, r.maxX());
        maxY = std::max(maxY, r.maxY());
    }
    return PopupRect{minX, minY, maxX - minX, maxY - minY};
}

}  // namespace parlendo::SelectionBounds
