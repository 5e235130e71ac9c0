#pragma once

#include "CardWindows.h"
#include "DesktopSession.h"

#include "Screenshot.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace parlendo::testing {

// GTK on the test display, kept off the accessibility bus like the program's own windows, and a
// main loop the tests turn until what they wait for has happened.
struct ShellDesktop {
    static bool ready() {
        static const bool ok = [] {
            ::setenv("NO_AT_BRIDGE", "1", 1);
            return gtk_init_check(nullptr, nullptr) != FALSE;
        }();
        return ok;
    }

    // Turns the main loop until `done` holds or `seconds` pass; whether it held.
    static bool pumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
        return DesktopSession::pumpUntil(done, seconds);
    }

    static void pumpFor(double seconds) { DesktopSession::pumpFor(seconds); }

    // Where a window is on the screen; empty while it is not shown.
    static GdkRectangle placeOf(GtkWidget* window) { return CardWindows::placeOf(window); }

    static bool shown(GtkWidget* window) {
        return window != nullptr && gtk_widget_get_mapped(window) && placeOf(window).width > 0;
    }

    static std::string outputPath(const std::string& name) {
        return std::string(PARLENDO_TEST_OUTPUT_DIR) + "/" + name;
    }

    // Waits until the window is drawn, then saves it; the number of pixels that are not
    // background.
    static int screenshot(GtkWidget* window, const std::string& name) {
        if (!pumpUntil([window] { return shown(window); })) {
            return -1;
        }
        pumpFor(0.4);
        return saveScreenshot(placeOf(window), outputPath(name));
    }
};

}  // namespace parlendo::testing
