#include "projects/ThumbnailSize.h"

#include <algorithm>
#include <cmath>

namespace parlendo::ThumbnailSize {

std::optional<Fit> fit(double pageWidth, double pageHeight, int width, int maxHeight) {
    if (!(pageWidth > 0) || !(pageHeight > 0) || width < 1 || maxHeight < 1 ||
        !std::isfinite(pageWidth) || !std::isfinite(pageHeight)) {
        return std::nullopt;
    }
    const double scale = std::min(width / pageWidth, maxHeight / pageHeight);
    const auto side = [scale](double length) {
        return static_cast<int>(std::max(1.0, std::round(length * scale)));
    };
    return Fit{scale, side(pageWidth), side(pageHeight)};
}

}  // namespace parlendo::ThumbnailSize
