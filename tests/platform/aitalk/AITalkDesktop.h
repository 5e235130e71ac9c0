#pragma once

// Google Test before X11, whose macros clash with its names.
#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "Screenshot.h"
#include "foundation/Clock.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <atomic>
#include <string>
#include <vector>

namespace parlendo::testing {

// What the AI talk tests do on the shared test desktop besides what DesktopSession offers: keys
// by their names, typing, pressing and dragging the pointer, and the folder for screenshots.
struct AITalkDesktop : DesktopSession {
    static Display* display() { return gdk_x11_get_default_xdisplay(); }

    static unsigned code(const char* keysym) {
        return XKeysymToKeycode(display(), XStringToKeysym(keysym));
    }
    // Presses the keys in order and lets go of them in reverse.
    static void chord(const std::vector<const char*>& keysyms) {
        std::vector<unsigned> codes;
        for (const char* k : keysyms) {
            codes.push_back(code(k));
        }
        tap(codes);
    }
    // Types lower-case ASCII letters, digits, spaces and question marks.
    static void type(const std::string& text) {
        for (char c : text) {
            if (c == '?') {
                chord({"Shift_L", "slash"});
            } else if (c == ' ') {
                chord({"space"});
            } else {
                const std::string sym(1, c);
                chord({sym.c_str()});
            }
            pumpFor(0.01);
        }
    }
    static void button(unsigned number, bool press) {
        XTestFakeButtonEvent(display(), number, press ? True : False, CurrentTime);
        XFlush(display());
    }
    static void clickAt(int x, int y) {
        pointerTo(x, y);
        pumpFor(0.05);
        button(1, true);
        pumpFor(0.05);
        button(1, false);
    }
    // Presses at one point, moves there in steps to another and lets go.
    static void dragFrom(int x0, int y0, int x1, int y1) {
        pointerTo(x0, y0);
        pumpFor(0.1);
        button(1, true);
        pumpFor(0.1);
        for (int i = 1; i <= 10; ++i) {
            pointerTo(x0 + (x1 - x0) * i / 10, y0 + (y1 - y0) * i / 10);
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
