#pragma once

#include "popups/PopupBody.h"
#include "popups/PopupCardWindow.h"

#include <gdk/gdk.h>

#include <utility>
#include <vector>

namespace parlendo {

// The displays and the pointer as GDK sees them, in the cards' screen space: points with the
// origin at the bottom left of the primary monitor and y growing upward, the space the capture
// readers hand selection rectangles over in. Main thread only.
class GdkPopupScreens final : public PopupScreens {
  public:
    // Where the cards' space sits in GDK's coordinates (root window, y down): the primary
    // monitor's left edge and bottom edge (the first monitor's when none is primary; 0 and 0
    // without a monitor). A GDK rectangle maps to x − left, bottom − (y + height).
    struct Origin {
        double left = 0;
        double bottom = 0;
    };

    // Uses the default display when `display` is null.
    explicit GdkPopupScreens(GdkDisplay* display = nullptr);
    ~GdkPopupScreens() override;

    GdkPopupScreens(const GdkPopupScreens&) = delete;
    GdkPopupScreens& operator=(const GdkPopupScreens&) = delete;

    // Each monitor's geometry and work area (the part free of panels and docks), the primary
    // monitor first.
    std::vector<PopupScreen> screens() const override;
    std::pair<double, double> mouse() const override;

    static Origin origin(GdkDisplay* display);
    // A rectangle in GDK's coordinates as a card rectangle, and back (rounded to whole pixels).
    static PopupRect fromGdk(double x, double y, double width, double height, Origin origin);
    static GdkRectangle toGdk(const PopupRect& rect, Origin origin);

  private:
    GdkDisplay* display_;
};

}  // namespace parlendo
