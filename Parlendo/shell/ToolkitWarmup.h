#pragma once

#include "foundation/Executor.h"

#include <functional>

namespace parlendo::ToolkitWarmup {

// The first window of a run pays for what the toolkit loads on first use: the fonts' files,
// tables and shaping plans, and the image loaders of the theme's icons. Paid inside one window's
// first layout, that stalls the main loop for tens of milliseconds; paid ahead, it does not.

// Loads the image loaders for the icons (PNG, SVG) on the thread pool, so the main thread never
// maps them itself, nor waits for a worker that is mapping a large module meanwhile.
void loadImageLoaders();

// Opens the input method module that text fields type through (the one the desktop chose) and
// keeps a context of it for the rest of the run, which keeps the module in use: no text field
// opens it afterwards. Main thread only.
void keepInputMethod();

// Lays out a line of Korean and Latin text in each style the windows use (the cards' and the
// account windows' among them), one style per turn of the main loop (the first in the next turn),
// then calls `done` there. Main thread only.
void prepareFonts(ExecutorPtr main, std::function<void()> done);

}  // namespace parlendo::ToolkitWarmup
