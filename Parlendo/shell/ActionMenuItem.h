#pragma once

#include "shell/MenuItems.h"

#include <gtk/gtk.h>

namespace parlendo {

// A GTK menu item drawn from a module's menu item: it runs the item's handler when chosen, but
// only while the item still says it is enabled (checked again at that moment), and follows the
// item's title, state and visibility on `sync`. A check box item when the item has a check mark.
// The widget owns it. Main thread.
class ActionMenuItem {
  public:
    // A new widget (floating reference) for `item`.
    static GtkWidget* make(MenuItemPtr item);
    // The item drawn by a widget made here; null for any other widget.
    static ActionMenuItem* of(GtkWidget* widget);

    // Brings the widget in line with the item.
    void sync();
    // What choosing it does: runs the handler when the item is enabled and visible. The choice
    // is the user's latest action.
    void run();
    // A panel delivers a click on a line of the exported menu, stamped with `time` (0: none);
    // the item it chooses runs next.
    static void heardPanelClick(guint32 time);

    const MenuItemPtr& item() const { return item_; }
    GtkWidget* widget() const { return widget_; }

  private:
    ActionMenuItem(MenuItemPtr item, GtkWidget* widget);

    MenuItemPtr item_;
    GtkWidget* widget_;
    gulong activate_ = 0;
    std::string shownTitle_;
};

}  // namespace parlendo
