#pragma once

#include <optional>

namespace parlendo {

// Fits a page into a thumbnail box, keeping its aspect ratio.
namespace ThumbnailSize {

inline constexpr int maxHeight = 480;

struct Fit {
    double scale = 1;
    int width = 1;
    int height = 1;
    bool operator==(const Fit&) const = default;
};

// The scale that fits the page inside width × maxHeight (one side exactly at its limit) and the
// pixel size it gives, each side rounded half away from zero and at least 1; nullopt for a
// degenerate page or box.
std::optional<Fit> fit(double pageWidth, double pageHeight, int width, int maxHeight);

}  // namespace ThumbnailSize
}  // namespace parlendo
