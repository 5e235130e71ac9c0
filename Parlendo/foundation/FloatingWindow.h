#pragma once

#include <gtk/gtk.h>

namespace parlendo {

// Makes `window` one of the program's floating windows (the cards, the AI answer): no frame, never
// takes the focus by itself, above other windows on every workspace, out of the taskbar and pager.
inline void makeFloating(GtkWindow* window, GdkWindowTypeHint hint) {
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_stick(window);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_type_hint(window, hint);
}

}  // namespace parlendo
