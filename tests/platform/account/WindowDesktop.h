#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace parlendo::testing {

// The desktop of the account windows' tests: temporary XDG folders, GTK on the session's display,
// the main loop run until something holds, and synthetic pointer and key input through XTest.
// Fails the test when there is no display.
void ensureDesktop();

// Runs the main loop until `done` holds or `seconds` of real time have passed.
bool pumpUntil(const std::function<bool()>& done, double seconds = 10);
// Runs the main loop for `seconds` of real time (only to let the display settle).
void pumpFor(double seconds);

// Clicks the middle of a widget that is on screen.
void click(GtkWidget* widget);
// Gives the window the keyboard and types `text` (ASCII) key by key.
void type(GtkWidget* window, const std::string& text);
// Presses a key by its name ("Return", "Tab").
void press(GtkWidget* window, const char* keysym);
// Runs the main loop until the input sent so far has reached this program's windows and been
// handled.
void settle();

// Saves a PNG of a window as it is on screen into this suite's output folder; fails the test when
// the picture is blank.
void snapshot(GtkWidget* window, const std::string& name);

}  // namespace parlendo::testing
