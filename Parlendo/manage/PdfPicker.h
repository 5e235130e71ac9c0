#pragma once

#include "foundation/Completion.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace parlendo {

// Asks the user for PDF files with the desktop's file chooser: PDF files only, one or several,
// modal to `parent` when there is one, free-standing otherwise. Main thread.
class PdfPicker {
  public:
    struct Picked {
        std::vector<std::string> paths;    // absolute, in the chooser's order
        std::vector<std::string> refused;  // display names of files whose names are not UTF-8
    };

    static void pick(GtkWindow* parent, bool multiple, Completion<void(Picked)> completion);

    // The chooser while it is open (for the tests that answer it).
    static GtkFileChooser* current();
};

// Tells the user, in a small alert over `parent` (or free-standing), which files were left out
// because their names cannot be carried as text.
void showRefusedFileNames(GtkWindow* parent, const std::vector<std::string>& displayNames);

}  // namespace parlendo
