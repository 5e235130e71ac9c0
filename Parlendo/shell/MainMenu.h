#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace parlendo::MainMenu {

// The application's keys in every window of the program: Ctrl+Q quits, Ctrl+H hides the
// program's windows, Ctrl+W closes and Ctrl+M minimises the active window. Undo, redo, cut, copy,
// paste and select all are the text widgets' own keys.
void install(GtkApplication* app, std::function<void()> quit);

}  // namespace parlendo::MainMenu
