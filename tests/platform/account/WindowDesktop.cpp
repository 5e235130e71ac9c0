#include "WindowDesktop.h"
#include "DesktopSession.h"

#include <gtest/gtest.h>

#include "Screenshot.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <stdlib.h>

#include <filesystem>

namespace parlendo::testing {

namespace {

Display* xdisplay() {
    return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

void focus(GtkWidget* window) {
    GdkWindow* gdk = gtk_widget_get_window(window);
    ASSERT_NE(gdk, nullptr);
    DesktopSession::activate(gdk_x11_window_get_xid(gdk));
    pumpUntil([window] { return gtk_window_has_toplevel_focus(GTK_WINDOW(window)) == TRUE; }, 2);
}

void key(KeySym symbol, bool shift) {
    const KeyCode code = XKeysymToKeycode(xdisplay(), symbol);
    const KeyCode shiftCode = XKeysymToKeycode(xdisplay(), XK_Shift_L);
    if (shift) {
        XTestFakeKeyEvent(xdisplay(), shiftCode, True, CurrentTime);
    }
    XTestFakeKeyEvent(xdisplay(), code, True, CurrentTime);
    XTestFakeKeyEvent(xdisplay(), code, False, CurrentTime);
    if (shift) {
        XTestFakeKeyEvent(xdisplay(), shiftCode, False, CurrentTime);
    }
    XFlush(xdisplay());
    pumpFor(0.01);
}

}  // namespace

void ensureDesktop() {
    static bool ready = [] {
        // The folders and the log are the test program's temporary home already.
        ::setenv("GTK_USE_PORTAL", "0", 1);
        return gtk_init_check(nullptr, nullptr) == TRUE;
    }();
    ASSERT_TRUE(ready) << "no display: run under scripts/with-session.sh";
}

bool pumpUntil(const std::function<bool()>& done, double seconds) {
    return DesktopSession::pumpUntil(done, seconds);
}

void pumpFor(double seconds) {
    DesktopSession::pumpFor(seconds);
}

void click(GtkWidget* widget) {
    ASSERT_TRUE(gtk_widget_get_mapped(widget));
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    gint x = 0;
    gint y = 0;
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    gdk_window_get_origin(gtk_widget_get_window(top), &x, &y);
    gint inTopX = 0;
    gint inTopY = 0;
    gtk_widget_translate_coordinates(widget, top, allocation.width / 2, allocation.height / 2,
                                     &inTopX, &inTopY);
    XTestFakeMotionEvent(xdisplay(), -1, x + inTopX, y + inTopY, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.05);
    XTestFakeButtonEvent(xdisplay(), 1, True, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.03);
    XTestFakeButtonEvent(xdisplay(), 1, False, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.05);
}

void type(GtkWidget* window, const std::string& text) {
    focus(window);
    for (char c : text) {
        const char name[2] = {c, 0};
        KeySym symbol = XStringToKeysym(name);
        if (c == '@') {
            symbol = XK_at;
        } else if (c == '.') {
            symbol = XK_period;
        } else if (c == '-') {
            symbol = XK_minus;
        } else if (c == ' ') {
            symbol = XK_space;
        }
        const bool shift = (c >= 'A' && c <= 'Z') || c == '@';
        key(symbol, shift);
    }
    pumpFor(0.05);
}

void press(GtkWidget* window, const char* keysym) {
    focus(window);
    key(XStringToKeysym(keysym), false);
    pumpFor(0.05);
}

void settle() {
    // The server has sent the events of the input before it answers.
    XSync(xdisplay(), False);
    pumpUntil([] { return gtk_events_pending() == FALSE; });
}

void snapshot(GtkWidget* window, const std::string& name) {
    pumpFor(0.2);
    GdkWindow* gdk = gtk_widget_get_window(window);
    ASSERT_NE(gdk, nullptr);
    GdkRectangle area;
    gdk_window_get_frame_extents(gdk, &area);
    const auto path = std::filesystem::path(PARLENDO_TEST_OUTPUT_DIR) / (name + ".png");
    const int marks = saveScreenshot(area, path.string());
    EXPECT_GT(marks, 0) << name << " is blank or was not saved: " << path;
}

}  // namespace parlendo::testing
