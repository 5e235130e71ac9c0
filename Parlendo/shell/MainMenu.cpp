#include "shell/MainMenu.h"

#include <memory>
#include <string>

namespace parlendo::MainMenu {

namespace {

struct Entry {
    const char* name;
    const char* accel;
    void (*run)(GtkApplication* app, const std::function<void()>& quit);
};

void each(GtkApplication* app, void (*apply)(GtkWindow*)) {
    for (GList* window = gtk_application_get_windows(app); window != nullptr;
         window = window->next) {
        apply(GTK_WINDOW(window->data));
    }
}

const Entry entries[] = {
    {"quit", "<Control>q",
     [](GtkApplication*, const std::function<void()>& quit) {
         quit();
     }},
    {"hide", "<Control>h",
     [](GtkApplication* app, const std::function<void()>&) {
         each(app, [](GtkWindow* window) { gtk_widget_hide(GTK_WIDGET(window)); });
     }},
    {"close-window", "<Control>w",
     [](GtkApplication* app, const std::function<void()>&) {
         if (GtkWindow* window = gtk_application_get_active_window(app)) {
             gtk_window_close(window);
         }
     }},
    {"minimize", "<Control>m",
     [](GtkApplication* app, const std::function<void()>&) {
         if (GtkWindow* window = gtk_application_get_active_window(app)) {
             gtk_window_iconify(window);
         }
     }},
};

struct Bound {
    GtkApplication* app;
    const Entry* entry;
    std::shared_ptr<std::function<void()>> quit;
};

}  // namespace

void install(GtkApplication* app, std::function<void()> quit) {
    // Every window of the program belongs to the application, so that its keys work there too.
    g_signal_add_emission_hook(
        g_signal_lookup("show", GTK_TYPE_WIDGET), 0,
        +[](GSignalInvocationHint*, guint, const GValue* params, gpointer data) -> gboolean {
            auto* widget = static_cast<GObject*>(g_value_get_object(&params[0]));
            if (GTK_IS_WINDOW(widget) &&
                gtk_window_get_window_type(GTK_WINDOW(widget)) == GTK_WINDOW_TOPLEVEL &&
                gtk_window_get_application(GTK_WINDOW(widget)) == nullptr) {
                gtk_window_set_application(GTK_WINDOW(widget), GTK_APPLICATION(data));
            }
            return TRUE;
        },
        app, nullptr);
    auto shared = std::make_shared<std::function<void()>>(std::move(quit));
    for (const Entry& entry : entries) {
        GSimpleAction* action = g_simple_action_new(entry.name, nullptr);
        g_signal_connect_data(
            action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
                auto* bound = static_cast<Bound*>(data);
                bound->entry->run(bound->app, *bound->quit);
            }),
            new Bound{app, &entry, shared},
            +[](gpointer data, GClosure*) { delete static_cast<Bound*>(data); }, GConnectFlags(0));
        g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(action));
        g_object_unref(action);
        const std::string detailed = std::string("app.") + entry.name;
        const char* accels[] = {entry.accel, nullptr};
        gtk_application_set_accels_for_action(app, detailed.c_str(), accels);
    }
}

}  // namespace parlendo::MainMenu
