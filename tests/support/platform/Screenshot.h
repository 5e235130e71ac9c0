#pragma once

#include <gdk/gdk.h>

#include <string>

namespace parlendo::testing {

// What is on the screen inside `area` (root window coordinates), saved as a PNG file at `path`
// (its folder is made when missing). Answers the number of pixels that differ clearly from the
// area's most common colour (text, lines, icons), so that a blank or single-coloured capture
// shows as 0; -1 when nothing could be captured or saved.
int saveScreenshot(const GdkRectangle& area, const std::string& path);

}  // namespace parlendo::testing
