#pragma once

#include <gdk/gdk.h>

#include <optional>
#include <string>

namespace parlendo::testing {

// Where an application shows a text, as its accessibility tree tells it: the screen rectangle
// (root coordinates) of the first occurrence of `text` in one of the text elements of process
// `pid`, visiting at most `nodes` elements (menus are skipped). None when it is not found.
std::optional<GdkRectangle> findScreenText(int pid, const std::string& text, int nodes = 4000);

// Whether one of the text elements of process `pid` holds `text`, found the same way without
// asking where it is shown (an application may lay its text out for the accessibility bus only
// once asked).
bool holdsText(int pid, const std::string& text, int nodes = 4000);

}  // namespace parlendo::testing
