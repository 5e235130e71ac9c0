#pragma once

#include <gtk/gtk.h>

#include <vector>

namespace parlendo::GtkAccountStyle {

// The points of the windows' headings: the login window's title, the new-password window's.
constexpr int titleSize = 18;
constexpr int headingSize = 16;

// A label in the bold system font of `size` points.
void bold(GtkWidget* label, int size);
// A message line: the system's red for an error, the secondary label colour otherwise.
void message(GtkWidget* label, bool error);

// An account window: a dialog of fixed size, centred when it is shown, that closing only hides
// (the window and what was typed are kept for the next show).
GtkWidget* window(const char* title, int width, int height);
// The column the window's content stands in, with the windows' margins.
GtkWidget* content();
// A text field of `width` whose Return presses the default button; `secret` hides what is typed.
GtkWidget* field(const char* placeholder, int width, bool secret);

// Labels showing `text` in each font of the windows' own (floating references), to be laid out
// ahead of the first window.
std::vector<GtkWidget*> fontSamples(const char* text);

}  // namespace parlendo::GtkAccountStyle
