#include "shell/ActionMenuItem.h"

#include "foundation/PlatformWords.h"
#include "foundation/UserActionTime.h"

#include <utility>

namespace parlendo {

namespace {
constexpr const char* dataKey = "parlendo-action-item";
// The time a panel sent with the click it is delivering (0: none, or none pending).
guint32 panelClickTime = 0;
}  // namespace

void ActionMenuItem::heardPanelClick(guint32 time) {
    panelClickTime = time;
    // The item the click chooses runs within the same delivery; a time left over is dropped.
    g_idle_add(
        +[](gpointer) -> gboolean {
            panelClickTime = 0;
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

ActionMenuItem::ActionMenuItem(MenuItemPtr item, GtkWidget* widget)
    : item_(std::move(item)), widget_(widget) {}

GtkWidget* ActionMenuItem::make(MenuItemPtr item) {
    GtkWidget* widget =
        item->checked ? gtk_check_menu_item_new_with_label("") : gtk_menu_item_new_with_label("");
    auto* action = new ActionMenuItem(std::move(item), widget);
    g_object_set_data_full(G_OBJECT(widget), dataKey, action,
                           [](gpointer data) { delete static_cast<ActionMenuItem*>(data); });
    action->activate_ = g_signal_connect(
        widget, "activate",
        G_CALLBACK(+[](GtkMenuItem*, gpointer data) { static_cast<ActionMenuItem*>(data)->run(); }),
        action);
    action->sync();
    return widget;
}

ActionMenuItem* ActionMenuItem::of(GtkWidget* widget) {
    return static_cast<ActionMenuItem*>(g_object_get_data(G_OBJECT(widget), dataKey));
}

void ActionMenuItem::run() {
    // The windows it opens answer this choice: at the time of the click in a menu the program
    // draws, or the time the panel sent, else now.
    const guint32 time = gtk_get_current_event_time();
    UserActionTime::note(time != GDK_CURRENT_TIME ? time : std::exchange(panelClickTime, 0));
    // The state may have changed since the menu was drawn.
    if (item_->enabled && !item_->hidden && item_->handler) {
        item_->handler();
    }
}

void ActionMenuItem::sync() {
    const std::string title = PlatformWords::render(item_->title);
    if (title != shownTitle_) {
        gtk_menu_item_set_label(GTK_MENU_ITEM(widget_), title.c_str());
        shownTitle_ = title;
    }
    const bool sensitive = item_->enabled && static_cast<bool>(item_->handler);
    if ((gtk_widget_get_sensitive(widget_) != FALSE) != sensitive) {
        gtk_widget_set_sensitive(widget_, sensitive);
    }
    if ((gtk_widget_get_visible(widget_) != FALSE) == item_->hidden) {
        gtk_widget_set_visible(widget_, !item_->hidden);
    }
    if (item_->checked && GTK_IS_CHECK_MENU_ITEM(widget_)) {
        auto* check = GTK_CHECK_MENU_ITEM(widget_);
        if ((gtk_check_menu_item_get_active(check) != FALSE) != *item_->checked) {
            // Setting the mark is not choosing the item.
            g_signal_handler_block(widget_, activate_);
            gtk_check_menu_item_set_active(check, *item_->checked);
            g_signal_handler_unblock(widget_, activate_);
        }
    }
}

}  // namespace parlendo
