#include "CardWindows.h"

#include <algorithm>
#include <cstring>

namespace parlendo::testing::CardWindows {

void walk(GtkWidget* widget, const std::function<void(GtkWidget*)>& visit) {
    if (widget == nullptr) {
        return;
    }
    visit(widget);
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer data) {
                walk(child, *static_cast<const std::function<void(GtkWidget*)>*>(data));
            },
            const_cast<std::function<void(GtkWidget*)>*>(&visit));
    }
}

std::vector<std::string> texts(GtkWidget* window) {
    std::vector<std::string> out;
    walk(window, [&](GtkWidget* w) {
        if (GTK_IS_LABEL(w)) {
            out.emplace_back(gtk_label_get_text(GTK_LABEL(w)));
        } else if (GTK_IS_DRAWING_AREA(w)) {
            // A text the card draws itself (its countdown) carries it as its accessible name.
            AtkObject* accessible = gtk_widget_get_accessible(w);
            const char* name = atk_object_get_name(accessible);
            if (atk_object_get_role(accessible) == ATK_ROLE_LABEL && name != nullptr &&
                *name != '\0') {
                out.emplace_back(name);
            }
        }
    });
    return out;
}

GdkRectangle placeOf(GtkWidget* window) {
    GdkRectangle r{0, 0, 0, 0};
    GdkWindow* w = window != nullptr ? gtk_widget_get_window(window) : nullptr;
    if (w != nullptr && gdk_window_is_visible(w)) {
        gdk_window_get_origin(w, &r.x, &r.y);
        r.width = gdk_window_get_width(w);
        r.height = gdk_window_get_height(w);
    }
    return r;
}

std::vector<GtkWidget*> shown() {
    std::vector<GtkWidget*> out;
    GList* all = gtk_window_list_toplevels();
    for (GList* item = all; item != nullptr; item = item->next) {
        auto* window = GTK_WIDGET(item->data);
        if (std::strcmp(gtk_widget_get_name(window), "parlendo-card") == 0 &&
            gtk_widget_get_mapped(window)) {
            out.push_back(window);
        }
    }
    g_list_free(all);
    return out;
}

void closeAll() {
    for (GtkWidget* card : shown()) {
        gtk_window_close(GTK_WINDOW(card));
    }
}

bool anyShows(const std::string& text) {
    for (GtkWidget* card : shown()) {
        const auto labels = texts(card);
        if (std::find(labels.begin(), labels.end(), text) != labels.end()) {
            return true;
        }
    }
    return false;
}

}  // namespace parlendo::testing::CardWindows
