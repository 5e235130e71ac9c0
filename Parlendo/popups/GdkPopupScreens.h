#pragma once

#include "popups/PopupBody.h"
#include "popups/PopupCardWindow.h"

#include <gdk/gdk.h>

#include <utility>
#include <vector>

namespace parlendo {

// The displays and the pointer as GDK sees them, turned into the cards' screen space: points
// with y growing upward from the bottom edge of the primary monitor. GDK's own coordinates
// (root window, y down) map to it by y' = flipHeight() − (y + height), x unchanged; the same
// flip turns a selection's screen rectangle into a card anchor. Main thread only.
class GdkPopupScreens final : public PopupScreens {
  public:
    // Uses the default display when `display` is null.
    explicit GdkPopupScreens(GdkDisplay* display = nullptr);
    ~GdkPopupScreens() override;

    GdkPopupScreens(const GdkPopupScreens&) = delete;
    GdkPopupScreens& operator=(const GdkPopupScreens&) = delete;

    // Each monitor's geometry and work area (the part free of panels and docks), the primary
    // monitor first.
    std::vector<PopupScreen> screens() const override;
    std::pair<double, double> mouse() const override;

    // The bottom edge of the primary monitor (the first monitor when none is primary) in GDK's
    // coordinates; 0 without a monitor.
    static double flipHeight(GdkDisplay* display);
    // A rectangle in GDK's coordinates as a card rectangle, and back.
    static PopupRect fromGdk(double x, double y, double width, double height, double flipHeight);
    static GdkRectangle toGdk(const PopupRect& rect, double flipHeight);

  private:
    GdkDisplay* display_;
};

}  // namespace parlendo
