#include "capture/GdkScreens.h"

#include <gdk/gdk.h>

namespace parlendo::GdkScreens {

Layout layout() {
    Layout out;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return out;
    }
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    const int count = gdk_display_get_n_monitors(display);
    if (primary == nullptr && count > 0) {
        primary = gdk_display_get_monitor(display, 0);
    }
    if (primary == nullptr) {
        return out;
    }
    GdkRectangle main;
    gdk_monitor_get_geometry(primary, &main);
    out.originX = main.x;
    out.originY = main.y;
    out.frames.primaryHeight = main.height;
    for (int i = 0; i < count; ++i) {
        GdkRectangle r;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &r);
        // Relative to the primary monitor's top left, then flipped about its height.
        const double x = r.x - main.x;
        const double top = r.y - main.y;
        out.frames.frames.push_back(PopupRect{x, main.height - (top + r.height),
                                              static_cast<double>(r.width),
                                              static_cast<double>(r.height)});
    }
    return out;
}

}  // namespace parlendo::GdkScreens
