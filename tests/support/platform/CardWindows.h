#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace parlendo::testing::CardWindows {

// Visits `widget` and everything under it (internal children too), in widget order.
void walk(GtkWidget* widget, const std::function<void(GtkWidget*)>& visit);
// Every text shown under `window`, in widget order: the labels' and those the card draws itself.
std::vector<std::string> texts(GtkWidget* window);
// Where a window stands on the screen (root coordinates) and its size; all 0 while it is not
// shown.
GdkRectangle placeOf(GtkWidget* window);
// The card windows of this process that are mapped now, in the order they were made.
std::vector<GtkWidget*> shown();
// Closes every shown card as the window manager's close request would (like its close button).
void closeAll();
// Whether one of them shows a label with exactly `text`.
bool anyShows(const std::string& text);

}  // namespace parlendo::testing::CardWindows
