#pragma once

#include "foundation/Json.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace parlendo::testing {

// Prepares the desktop once per process: temporary XDG folders (the web engine keeps caches
// there), GTK on the session's display. Fails the test when there is no display.
void ensureDesktop();

// Runs the main loop until `done` holds or `seconds` of real time have passed.
bool pumpUntil(const std::function<bool()>& done, double seconds = 10);
// Runs the main loop for `seconds` of real time (only to let the display settle).
void pumpFor(double seconds);

// The folder of this suite's test pages, and the source tree's resources.
std::filesystem::path pagesFolder();
std::filesystem::path resourcesFolder();
// The folder that screenshots are saved in.
std::filesystem::path outputFolder();

// Saves a PNG of what the web view shows and of a whole window; fails the test when the picture
// is blank (one colour only).
void snapshotWebView(WebKitWebView* view, const std::string& name);
void snapshotWindow(GtkWidget* window, const std::string& name);

// The screen position of a point of a widget.
GdkPoint onScreen(GtkWidget* widget, int x, int y);
// Synthetic pointer input through XTest.
void clickAt(GdkPoint at);
void dragBetween(GdkPoint from, GdkPoint to);
// Drags from `from`, lingers over `over` and lets go at `to`.
void dragAcross(GdkPoint from, GdkPoint over, GdkPoint to);

// Evaluates `script` in the view and waits for its JSON value.
std::optional<Json> evaluateIn(WebKitWebView* view, const std::string& script);

}  // namespace parlendo::testing
