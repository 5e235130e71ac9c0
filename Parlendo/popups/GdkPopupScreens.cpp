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

PopupRect flipped(const GdkRectangle& r, GdkPopupScreens::Origin origin) {
    return GdkPopupScreens::fromGdk(r.x, r.y, r.width, r.height, origin);
}

}  // namespace

GdkPopupScreens::GdkPopupScreens(GdkDisplay* display)
    : display_(
          GDK_DISPLAY(g_object_ref(display != nullptr ? display : gdk_display_get_default()))) {}

GdkPopupScreens::~GdkPopupScreens() {
    g_object_unref(display_);
}

GdkPopupScreens::Origin GdkPopupScreens::origin(GdkDisplay* display) {
    GdkMonitor* primary = primaryMonitor(display);
    if (primary == nullptr) {
        return Origin{};
    }
    GdkRectangle g;
    gdk_monitor_get_geometry(primary, &g);
    return Origin{static_cast<double>(g.x), static_cast<double>(g.y + g.height)};
}

PopupRect GdkPopupScreens::fromGdk(double x, double y, double width, double height, Origin origin) {
    return PopupRect{x - origin.left, origin.bottom - (y + height), width, height};
}

GdkRectangle GdkPopupScreens::toGdk(const PopupRect& rect, Origin origin) {
    return GdkRectangle{static_cast<int>(std::lround(rect.x + origin.left)),
                        static_cast<int>(std::lround(origin.bottom - rect.maxY())),
                        static_cast<int>(std::lround(rect.width)),
                        static_cast<int>(std::lround(rect.height))};
}

std::vector<PopupScreen> GdkPopupScreens::screens() const {
    std::vector<PopupScreen> out;
    const Origin space = origin(display_);
    GdkMonitor* primary = primaryMonitor(display_);
    auto add = [&](GdkMonitor* monitor) {
        GdkRectangle geometry;
        GdkRectangle workarea;
        gdk_monitor_get_geometry(monitor, &geometry);
        gdk_monitor_get_workarea(monitor, &workarea);
        out.push_back(PopupScreen{flipped(geometry, space), flipped(workarea, space)});
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
    const Origin space = origin(display_);
    return {x - space.left, space.bottom - y};
}

}  // namespace parlendo
