#include "foundation/UserActionTime.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>

#include <optional>

namespace parlendo::UserActionTime {

namespace {

guint32 noted = 0;

// X times wrap around: `a` is later than `b` when it is less than half the clock ahead.
bool later(guint32 a, guint32 b) {
    return a != b && static_cast<guint32>(a - b) < 0x80000000u;
}

guint32 laterOf(guint32 a, guint32 b) {
    if (a == 0) {
        return b;
    }
    return b != 0 && later(b, a) ? b : a;
}

GdkDisplay* x11Display() {
    GdkDisplay* display = gdk_display_get_default();
    return display != nullptr && GDK_IS_X11_DISPLAY(display) ? display : nullptr;
}

// A 32-bit property of an X window (a window id or a time), if it has one.
std::optional<unsigned long> cardinal(GdkDisplay* display, Window window, const char* name,
                                      Atom type) {
    Display* x = gdk_x11_display_get_xdisplay(display);
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> value;
    gdk_x11_display_error_trap_push(display);  // the window may be gone
    if (XGetWindowProperty(x, window, gdk_x11_get_xatom_by_name_for_display(display, name), 0, 1,
                           False, type, &actual, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (actual == type && format == 32 && count == 1) {
            value = *reinterpret_cast<unsigned long*>(data);
        }
        XFree(data);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
    return value;
}

}  // namespace

guint32 serverTime() {
    if (x11Display() == nullptr) {
        return 0;
    }
    // A window that is never shown, whose property changes the server answers with its time.
    static GtkWidget* clock = [] {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_realize(window);
        return window;
    }();
    return gdk_x11_get_server_time(gtk_widget_get_window(clock));
}

void note(guint32 time) {
    const guint32 now = serverTime();
    if (time == 0 || (now != 0 && later(time, now))) {
        time = now;
    }
    noted = laterOf(noted, time);
}

bool elsewhereSince(guint32 time) {
    GdkDisplay* display = x11Display();
    if (display == nullptr) {
        return false;
    }
    const auto active =
        cardinal(display, gdk_x11_get_default_root_xwindow(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (!active || *active == None || gdk_x11_window_lookup_for_display(display, *active)) {
        return false;
    }
    // The time is kept on a window that the top-level window names, or, where the window
    // manager does not read that one, on the top-level window itself: the later of the two.
    const auto timeOf = [&](Window window) {
        return static_cast<guint32>(
            cardinal(display, window, "_NET_WM_USER_TIME", XA_CARDINAL).value_or(0));
    };
    guint32 user = timeOf(*active);
    if (const auto keeper = cardinal(display, *active, "_NET_WM_USER_TIME_WINDOW", XA_WINDOW);
        keeper && *keeper != None) {
        user = laterOf(user, timeOf(*keeper));
    }
    return user != 0 && later(user, time);
}

guint32 latest() {
    guint32 time = noted;
    if (GdkDisplay* display = x11Display()) {
        time = laterOf(time, gdk_x11_display_get_user_time(display));
    }
    return time != 0 ? time : serverTime();
}

}  // namespace parlendo::UserActionTime
