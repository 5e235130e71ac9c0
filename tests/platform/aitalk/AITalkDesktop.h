#pragma once

// Google Test before X11, whose macros clash with its names.
#include <gtest/gtest.h>

#include "Screenshot.h"
#include "foundation/Clock.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace parlendo::testing {

// The X display of the AI talk tests: GTK up (this process's own windows kept off the
// accessibility bus, since the tests read other processes there), the main loop run by hand,
// and the user's keyboard and pointer played through XTest.
struct AITalkDesktop {
    static bool available() { return std::getenv("DISPLAY") != nullptr; }

    static void ensure() {
        static const bool ready = [] {
            setenv("NO_AT_BRIDGE", "1", 1);
            gtk_init(nullptr, nullptr);
            return true;
        }();
        (void)ready;
    }

    // Runs the main loop until `done` holds or `seconds` pass; whether it held.
    static bool pumpUntil(const std::function<bool()>& done, double seconds = 10.0) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        const guint tick = g_timeout_add(
            5, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
        bool held = done();
        while (!held && std::chrono::steady_clock::now() < until) {
            g_main_context_iteration(nullptr, TRUE);
            held = done();
        }
        g_source_remove(tick);
        return held;
    }
    static void pumpFor(double seconds) {
        pumpUntil([] { return false; }, seconds);
    }

    static Display* display() { return gdk_x11_get_default_xdisplay(); }

    static unsigned code(const char* keysym) {
        return XKeysymToKeycode(display(), XStringToKeysym(keysym));
    }
    static void key(unsigned keycode, bool press) {
        XTestFakeKeyEvent(display(), keycode, press ? True : False, CurrentTime);
        XFlush(display());
    }
    // Presses and releases the keys in order (held ones released in reverse).
    static void chord(const std::vector<const char*>& keysyms) {
        for (const char* k : keysyms) {
            key(code(k), true);
        }
        for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) {
            key(code(*it), false);
        }
    }
    // Types plain ASCII letters, digits and spaces.
    static void type(const std::string& text) {
        for (char c : text) {
            const std::string sym = c == ' ' ? "space" : c == '?' ? "question" : std::string(1, c);
            if (c == '?') {
                chord({"Shift_L", "slash"});
            } else {
                chord({sym.c_str()});
            }
            pumpFor(0.01);
        }
    }
    static void moveTo(int x, int y) {
        XTestFakeMotionEvent(display(), -1, x, y, CurrentTime);
        XFlush(display());
    }
    static void button(unsigned number, bool press) {
        XTestFakeButtonEvent(display(), number, press ? True : False, CurrentTime);
        XFlush(display());
    }
    static void clickAt(int x, int y) {
        moveTo(x, y);
        pumpFor(0.05);
        button(1, true);
        pumpFor(0.05);
        button(1, false);
    }
    // Presses at one point, moves in steps to another and releases there.
    static void dragFrom(int x0, int y0, int x1, int y1) {
        moveTo(x0, y0);
        pumpFor(0.1);
        button(1, true);
        pumpFor(0.1);
        for (int i = 1; i <= 10; ++i) {
            moveTo(x0 + (x1 - x0) * i / 10, y0 + (y1 - y0) * i / 10);
            pumpFor(0.03);
        }
        pumpFor(0.1);
        button(1, false);
        pumpFor(0.1);
    }

    static std::string outputPath(const std::string& name) {
        return std::string(PARLENDO_TEST_OUTPUT_DIR) + "/" + name;
    }
};

// An uptime the test moves by hand.
class ManualUptime final : public MonotonicClock {
  public:
    double uptime() const override { return now_.load(); }
    void advance(double seconds) { now_ = now_.load() + seconds; }

  private:
    std::atomic<double> now_{1000.0};
};

}  // namespace parlendo::testing
