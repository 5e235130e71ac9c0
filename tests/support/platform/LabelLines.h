#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace parlendo::testing {

// What the program's windows show, read from their widgets: the texts of labels and buttons,
// and where wrapping labels break their lines.
struct LabelLines {
    // The texts of every label and button inside `widget` that is set to show (hidden ones too
    // when `hidden`), in widget order.
    static std::vector<std::string> texts(GtkWidget* widget, bool hidden = false);
    // Every label inside `widget`.
    static std::vector<GtkWidget*> labels(GtkWidget* widget);

    // How many lines the label is laid out in.
    static int lineCount(GtkWidget* label);
    // The line breaks of a label that fall inside a word holding Hangul, each written as the
    // word around it with " / " at the break ("로 / 그인해"); empty when every break is at a space.
    static std::vector<std::string> breaksInsideWords(GtkWidget* label);
};

}  // namespace parlendo::testing
