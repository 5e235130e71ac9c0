#pragma once

#include "popups/PopupBody.h"

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace parlendo {

// Where meaning cards go: the anchor point beside the selection or the mouse, the greatest card
// height on a screen, and a free spot for each card inside the screen's visible frame so that
// cards do not cover one another. Screen points, y up. Pure; safe on any thread.
namespace PopupLayout {

inline constexpr double gap = 10;            // between stacked or side-by-side cards
inline constexpr double screenMargin = 8;    // inset of the usable frame from the screen's edges
inline constexpr double selectionGap = 6;    // between the selection and the card
inline constexpr double mouseOffset = 16;    // right of and below the pointer
inline constexpr double minRoomBelow = 180;  // room below the selection to put the card under it
inline constexpr double maxCardHeight = 460;

// The wanted top-left corner of a card.
struct Base {
    double x = 0;
    double top = 0;
    bool operator==(const Base&) const = default;
};

// A card to place: its size and its anchor point.
struct Item {
    double width = 0;
    double height = 0;
    Base base;
    bool operator==(const Item&) const = default;
};

// The anchor point: under the selection when there is room below it, else to its right,
// top-aligned; for a mouse anchor, right of and below the pointer.
Base base(const PopupAnchor& anchor, std::pair<double, double> mouse, const PopupRect& screen);

// The greatest card height on a screen: its height less 16, within 60 and 460.
double heightLimit(const PopupRect& screen);

// A frame for `item` inside the screen's usable frame that keeps clear of the `occupied` frames
// (in placing order): first the column below the start, then columns to the right, then to the
// left; if nothing is free, the start frame even though it overlaps.
PopupRect place(const Item& item, const std::vector<PopupRect>& occupied, const PopupRect& screen);

// The point that decides a card's screen: the centre of the selection, or the mouse.
std::pair<double, double> referencePoint(const PopupAnchor& anchor,
                                         std::pair<double, double> mouse);

// Whether a point lies in a rectangle as the screen's mouse test has it: left and top edges
// inside, right and bottom edges outside.
bool containsPoint(const PopupRect& rect, std::pair<double, double> point);

// The index of the first screen frame that holds the point; none when no screen does (the
// caller then takes the main screen).
std::optional<size_t> screenIndex(std::pair<double, double> point,
                                  const std::vector<PopupRect>& frames);

}  // namespace PopupLayout
}  // namespace parlendo
