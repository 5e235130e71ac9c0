#pragma once

#include <gtk/gtk.h>

namespace parlendo::GtkAccountStyle {

// A label in the bold system font of `size` points.
void bold(GtkWidget* label, int size);
// A message line: the system's red for an error, the secondary label colour otherwise.
void message(GtkWidget* label, bool error);

}  // namespace parlendo::GtkAccountStyle
