// The smallest GTK program with a status icon and a menu, made the way the program makes its own:
// the yardstick of what a desktop helper in the panel costs before it does anything.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* quit = gtk_menu_item_new_with_label("끝내기");
    g_signal_connect(quit, "activate", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), quit);
    gtk_widget_show_all(menu);
    AppIndicator* indicator =
        app_indicator_new("bare-tray", "dialog-information", APP_INDICATOR_CATEGORY_OTHER);
    app_indicator_set_menu(indicator, GTK_MENU(menu));
    app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
    g_unix_signal_add(
        SIGTERM,
        +[](gpointer) -> gboolean {
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        nullptr);
    gtk_main();
    g_object_unref(indicator);
    return 0;
}
