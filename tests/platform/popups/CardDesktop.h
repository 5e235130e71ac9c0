#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CardWindows.h"
#include "FakeClock.h"
#include "foundation/GlibMainExecutor.h"
#include "popups/GdkPopupScreens.h"
#include "popups/GtkPopupCard.h"
#include "popups/MeaningPopup.h"

// Xlib's macros (None, Bool, Status) clash with GoogleTest's names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <gdk/gdkx.h>

namespace parlendo::testing {

// A presenter with real card windows on the test's X display (a private Xvfb under
// scripts/with-session.sh), ticking on the GLib main loop. The countdown reads `clock`, which
// moves only when the test advances it, so the seconds shown are exact while the windows, the
// timer and the pointer are real. The pointer is moved and clicked with XTest.
class CardDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr))
            << "needs an X display: run under scripts/with-session.sh";
        display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        executor = std::make_shared<GlibMainExecutor>();
        screens = std::make_shared<GdkPopupScreens>();
        popup = MeaningPopup::make(
            executor, clock, screens,
            [this](const PopupCardLook& look, PopupCardWindow::Handlers handlers) {
                auto card = std::make_unique<GtkPopupCard>(look, std::move(handlers));
                GtkWidget* window = card->window();
                windows.push_back(std::make_unique<GtkWidget*>(window));
                g_object_add_weak_pointer(G_OBJECT(window),
                                          reinterpret_cast<gpointer*>(windows.back().get()));
                return card;
            });
        movePointer(5, 5);
    }
    void TearDown() override {
        popup.reset();
        settle();
        for (auto& w : windows) {
            if (*w != nullptr) {
                g_object_remove_weak_pointer(G_OBJECT(*w), reinterpret_cast<gpointer*>(w.get()));
            }
        }
    }

    // The n-th card window made, or null once it is gone.
    GtkWidget* card(size_t n) const { return n < windows.size() ? *windows[n] : nullptr; }

    // Runs the main loop for `ms` milliseconds.
    void runFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XFlush(display);
            g_main_context_iteration(nullptr, FALSE);
            if (!g_main_context_pending(nullptr)) {
                GSource* wake = g_timeout_source_new(5);
                g_source_set_callback(
                    wake, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
                g_source_attach(wake, nullptr);
                g_main_context_iteration(nullptr, TRUE);
                g_source_destroy(wake);
                g_source_unref(wake);
            }
        }
    }
    // Runs the main loop until `done` holds, at most `ms` milliseconds; answers `done()`.
    bool runUntil(const std::function<bool()>& done, int ms = 3000) {
        // `done` is asked once per turn: what it saw true is not asked again (a window the
        // window manager is still placing may read otherwise a moment later).
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            runFor(10);
        }
        return true;
    }
    // Lets pending drawing, moves and events go through.
    void settle() {
        XSync(display, False);
        runFor(60);
        XSync(display, False);
        runFor(20);
    }
    // Moves the countdown clock and lets a tick see it.
    void advance(double seconds) {
        clock->advance(seconds);
        runFor(150);
    }

    // Where a window stands on the screen (root coordinates) and its size.
    static GdkRectangle placeOf(GtkWidget* window) { return CardWindows::placeOf(window); }
    bool mapped(GtkWidget* window) const {
        return window != nullptr && gtk_widget_get_mapped(window) && placeOf(window).width > 0;
    }

    void movePointer(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XFlush(display);
        runFor(30);
    }
    void button(unsigned number, bool down) {
        XTestFakeButtonEvent(display, number, down ? True : False, CurrentTime);
        XFlush(display);
        runFor(40);
    }
    void click(int x, int y) {
        movePointer(x, y);
        button(1, true);
        button(1, false);
    }

    static void walk(GtkWidget* widget, const std::function<void(GtkWidget*)>& visit) {
        CardWindows::walk(widget, visit);
    }
    static std::vector<std::string> texts(GtkWidget* window) { return CardWindows::texts(window); }
    // The glyphs of the labels under `window` that no installed font has.
    static int missingGlyphs(GtkWidget* window) {
        int missing = 0;
        walk(window, [&](GtkWidget* w) {
            if (GTK_IS_LABEL(w)) {
                missing +=
                    pango_layout_get_unknown_glyphs_count(gtk_label_get_layout(GTK_LABEL(w)));
            }
        });
        return missing;
    }
    // The first label under `window` showing `text`.
    static GtkLabel* labelWith(GtkWidget* window, const std::string& text) {
        GtkLabel* found = nullptr;
        walk(window, [&](GtkWidget* w) {
            if (found == nullptr && GTK_IS_LABEL(w) && text == gtk_label_get_text(GTK_LABEL(w))) {
                found = GTK_LABEL(w);
            }
        });
        return found;
    }
    static GtkScrolledWindow* scrollArea(GtkWidget* window) {
        GtkScrolledWindow* found = nullptr;
        walk(window, [&](GtkWidget* w) {
            if (found == nullptr && GTK_IS_SCROLLED_WINDOW(w)) {
                found = GTK_SCROLLED_WINDOW(w);
            }
        });
        return found;
    }

    // The 32-bit values of a window property (atoms, cardinals).
    std::vector<unsigned long> property(GtkWidget* window, const char* name) const {
        std::vector<unsigned long> out;
        Window xid = GDK_WINDOW_XID(gtk_widget_get_window(window));
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, xid, XInternAtom(display, name, False), 0, 64, False,
                               AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
            data != nullptr) {
            if (format == 32) {
                // Xlib hands 32-bit items over as longs, sign-extended.
                auto* values = reinterpret_cast<unsigned long*>(data);
                for (unsigned long i = 0; i < count; ++i) {
                    out.push_back(values[i] & 0xFFFFFFFFul);
                }
            }
            XFree(data);
        }
        return out;
    }
    unsigned long atom(const char* name) const { return XInternAtom(display, name, False); }

    // A selection's screen rectangle (root coordinates) as the capture hands it over.
    PopupAnchor selection(int x, int y, int width, int height) const {
        return PopupAnchor::selection(GdkPopupScreens::fromGdk(
            x, y, width, height, GdkPopupScreens::origin(gdk_display_get_default())));
    }

    static std::string outputPath(const std::string& name) {
        return std::string(PARLENDO_TEST_OUTPUT_DIR) + "/" + name;
    }

    Display* display = nullptr;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<GlibMainExecutor> executor;
    std::shared_ptr<GdkPopupScreens> screens;
    std::shared_ptr<MeaningPopup> popup;
    std::vector<std::unique_ptr<GtkWidget*>> windows;
};

}  // namespace parlendo::testing
