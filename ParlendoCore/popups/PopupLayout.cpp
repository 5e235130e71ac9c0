#include "popups/PopupLayout.h"

#include "foundation/Overloaded.h"

#include <algorithm>
#include <optional>

namespace parlendo::PopupLayout {
namespace {

constexpr double overlapTolerance = gap - 0.5;
constexpr double minFrameExtent = 1;
constexpr int maxAttempts = 64;
constexpr double screenAllowance = 16;
constexpr double minCardHeight = 60;

bool collides(const PopupRect& c, const PopupRect& r) {
    return c.x < r.maxX() + overlapTolerance && r.x < c.maxX() + overlapTolerance &&
           c.y < r.maxY() + overlapTolerance && r.y < c.maxY() + overlapTolerance;
}

struct Frame {
    double minX, maxX, minY, maxY;
};

// One pass from the first top `firstTop`: down the start column, then further columns.
std::optional<PopupRect> pass(double firstTop, double startX, double w, double h, const Frame& f,
                              const std::vector<PopupRect>& occupied) {
    double x = startX;
    double top = firstTop;
    bool goingRight = true;
    int attempts = 0;
    while (attempts < maxAttempts) {
        PopupRect candidate{x, top - h, w, h};
        if (occupied.empty()) {
            return candidate;
        }
        ++attempts;
        auto hit = std::find_if(occupied.begin(), occupied.end(),
                                [&](const PopupRect& r) { return collides(candidate, r); });
        if (hit == occupied.end()) {
            return candidate;
        }
        const PopupRect& r = *hit;
        top = r.y - gap;
        if (top - h >= f.minY) {
            continue;
        }
        if (goingRight) {
            double next = r.maxX() + gap;
            if (next + w <= f.maxX) {
                x = next;
                top = firstTop;
                continue;
            }
            goingRight = false;
            x = std::min(r.x, startX) - gap - w;
        } else {
            x = r.x - gap - w;
        }
        if (x < f.minX) {
            return std::nullopt;
        }
        top = firstTop;
    }
    return std::nullopt;
}

}  // namespace

Base base(const PopupAnchor& anchor, std::pair<double, double> mouse, const PopupRect& screen) {
    return std::visit(overloaded{
                          [&](const PopupAnchor::Mouse&) {
                              return Base{mouse.first + mouseOffset, mouse.second - mouseOffset};
                          },
                          [&](const PopupAnchor::Selection& selection) {
                              const PopupRect& r = selection.rect;
                              if (r.y - screen.y >= minRoomBelow) {
                                  return Base{r.x, r.y - selectionGap};
                              }
                              return Base{r.maxX() + selectionGap, r.maxY()};
                          },
                      },
                      anchor.value());
}

double heightLimit(const PopupRect& screen) {
    return std::max(std::min(screen.height - screenAllowance, maxCardHeight), minCardHeight);
}

PopupRect place(const Item& item, const std::vector<PopupRect>& occupied, const PopupRect& screen) {
    Frame f{screen.x + screenMargin, screen.maxX() - screenMargin, screen.y + screenMargin,
            screen.maxY() - screenMargin};
    double frameWidth = f.maxX - f.minX;
    if (frameWidth <= minFrameExtent) {
        frameWidth = minFrameExtent;
    }
    double frameHeight = f.maxY - f.minY;
    if (frameHeight <= minFrameExtent) {
        frameHeight = minFrameExtent;
    }
    double w = std::min(item.width, frameWidth);
    double h = std::min(item.height, frameHeight);

    double startX = std::min(f.maxX - w, std::max(item.base.x, f.minX));
    double startTop = std::max(std::min(item.base.top, f.maxY), f.minY + h);

    if (auto found = pass(startTop, startX, w, h, f, occupied)) {
        return *found;
    }
    if (auto found = pass(f.maxY, startX, w, h, f, occupied)) {
        return *found;
    }
    return PopupRect{startX, startTop - h, w, h};
}

std::pair<double, double> referencePoint(const PopupAnchor& anchor,
                                         std::pair<double, double> mouse) {
    if (const auto* selection = anchor.as<PopupAnchor::Selection>()) {
        const PopupRect& r = selection->rect;
        return {r.x + r.width * 0.5, r.y + r.height * 0.5};
    }
    return mouse;
}

bool containsPoint(const PopupRect& rect, std::pair<double, double> point) {
    return point.first >= rect.x && point.first < rect.maxX() && point.second > rect.y &&
           point.second <= rect.maxY();
}

std::optional<size_t> screenIndex(std::pair<double, double> point,
                                  const std::vector<PopupRect>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) {
        if (containsPoint(frames[i], point)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace parlendo::PopupLayout
