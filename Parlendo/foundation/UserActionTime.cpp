#include "foundation/UserActionTime.h"

#include <gdk/gdkx.h>

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

guint32 latest() {
    guint32 time = noted;
    if (GdkDisplay* display = x11Display()) {
        time = laterOf(time, gdk_x11_display_get_user_time(display));
    }
    return time != 0 ? time : serverTime();
}

}  // namespace parlendo::UserActionTime
