#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// What the program's windows show, told over the session bus to the tests that run the whole
// program (development runs only, PARLENDO_WINDOW_PROBE=1). Everything is read on the main
// thread, where the widgets live; the program's windows themselves stay off the accessibility
// bus, whose connection the capture drives from its own thread.
//
// Object /local/parlendo/Probe, interface local.parlendo.Probe, on the program's own bus name:
//   Windows() -> a(stiiiia(ssiiii)): each mapped window's title, X window and place on the screen,
//       and the
//       labels, buttons, entries and text views shown in it (role, text, place), in widget order
//       (a password field as hidden characters, one per character it holds);
//   PageText() -> s: the text of the page in the program's web view (empty without one);
//   PageFind(s) -> (iiii): where on the screen the page shows an element with that text (its own
//       or all of it), label or title (the smallest, scrolled into view); all 0 when none.
class WindowProbe {
  public:
    struct Element {
        std::string role;  // "label", "button", "entry", "text"
        std::string text;
        GdkRectangle place{0, 0, 0, 0};  // root coordinates
    };
    struct Window {
        std::string title;
        unsigned long xid = 0;
        GdkRectangle place{0, 0, 0, 0};
        std::vector<Element> elements;
    };

    // Whether this run asks for it: PARLENDO_WINDOW_PROBE=1 outside release mode.
    static bool requested();
    // The mapped top-level windows of this process, as they are drawn now.
    static std::vector<Window> windows();
    // Registers the probe on `bus`; nothing when it cannot be registered.
    static std::unique_ptr<WindowProbe> serve(GDBusConnection* bus);
    ~WindowProbe();
    WindowProbe(const WindowProbe&) = delete;
    WindowProbe& operator=(const WindowProbe&) = delete;

    static constexpr const char* objectPath = "/local/parlendo/Probe";
    static constexpr const char* interfaceName = "local.parlendo.Probe";

  private:
    WindowProbe(GDBusConnection* bus, guint registration, GDBusNodeInfo* node);

    GDBusConnection* bus_;
    guint registration_;
    GDBusNodeInfo* node_;
};

}  // namespace parlendo
