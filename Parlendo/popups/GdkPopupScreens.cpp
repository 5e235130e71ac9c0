#include "popups/GdkPopupScreens.h"

#include <cmath>

namespace parlendo {
namespace {

GdkMonitor* primaryMonitor(GdkDisplay* display) {
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    if (primary == nullptr && gdk_display_get_n_monitors(display) > 0) {
        primary = gdk_display_get_monitor(display, 0);
    }
    return primary;
}

PopupRect flipped(const GdkRectangle& r, double flipHeight) {
    return GdkPopupScreens::fromGdk(r.x, r.y, r.width, r.height, flipHeight);
}

}  // namespace

GdkPopupScreens::GdkPopupScreens(GdkDisplay* display)
    : display_(
          GDK_DISPLAY(g_object_ref(display != nullptr ? display : gdk_display_get_default()))) {}

GdkPopupScreens::~GdkPopupScreens() {
    g_object_unref(display_);
}

double GdkPopupScreens::flipHeight(GdkDisplay* display) {
    GdkMonitor* primary = primaryMonitor(display);
    if (primary == nullptr) {
        return 0;
    }
    GdkRectangle g;
    gdk_monitor_get_geometry(primary, &g);
    return g.y + g.height;
}

PopupRect GdkPopupScreens::fromGdk(double x, double y, double width, double height,
                                   double flipHeight) {
    return PopupRect{x, flipHeight - (y + height), width, height};
}

GdkRectangle GdkPopupScreens::toGdk(const PopupRect& rect, double flipHeight) {
    return GdkRectangle{static_cast<int>(std::lround(rect.x)),
                        static_cast<int>(std::lround(flipHeight - rect.maxY())),
                        static_cast<int>(std::lround(rect.width)),
                        static_cast<int>(std::lround(rect.height))};
}

std::vector<PopupScreen> GdkPopupScreens::screens() const {
    std::vector<PopupScreen> out;
    const double flip = flipHeight(display_);
    GdkMonitor* primary = primaryMonitor(display_);
    auto add = [&](GdkMonitor* monitor) {
        GdkRectangle geometry;
        GdkRectangle workarea;
        gdk_monitor_get_geometry(monitor, &geometry);
        gdk_monitor_get_workarea(monitor, &workarea);
        out.push_back(PopupScreen{flipped(geometry, flip), flipped(workarea, flip)});
    };
    if (primary != nullptr) {
        add(primary);
    }
    const int n = gdk_display_get_n_monitors(display_);
    for (int i = 0; i < n; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display_, i);
        if (monitor != primary) {
            add(monitor);
        }
    }
    return out;
}

std::pair<double, double> GdkPopupScreens::mouse() const {
    GdkSeat* seat = gdk_display_get_default_seat(display_);
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    if (pointer == nullptr) {
        return {0, 0};
    }
    double x = 0;
    double y = 0;
    gdk_device_get_position_double(pointer, nullptr, &x, &y);
    return {x, flipHeight(display_) - y};
}

}  // namespace parlendo
