#include "account/GtkAccountAlerts.h"

#include "foundation/PlatformWords.h"

#include <memory>

namespace parlendo::GtkAccountAlerts {

namespace {

struct Pending {
    Completion<void(int)> answer;
    int closedButton = 0;
};

}  // namespace

void present(GtkWindow* window) {
    // The program's windows belong to the application, so its keys work there too.
    if (gtk_window_get_application(window) == nullptr) {
        GApplication* app = g_application_get_default();
        if (app != nullptr && GTK_IS_APPLICATION(app)) {
            gtk_window_set_application(window, GTK_APPLICATION(app));
        }
    }
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_present_with_time(window, GDK_CURRENT_TIME);
    gtk_window_set_keep_above(window, FALSE);
}

GtkWidget* make(const AccountAlert& alert) {
    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, alert.warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO,
        GTK_BUTTONS_NONE, "%s", PlatformWords::render(alert.message).c_str());
    if (!alert.informative.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 PlatformWords::render(alert.informative).c_str());
    }
    gtk_window_set_title(GTK_WINDOW(dialog), "PARLENDO");
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    const std::vector<std::string> buttons =
        alert.buttons.empty() ? std::vector<std::string>{"확인"} : alert.buttons;
    for (size_t i = 0; i < buttons.size(); ++i) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), PlatformWords::render(buttons[i]).c_str(),
                              static_cast<int>(i));
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    return dialog;
}

void show(AccountAlert alert, Completion<void(int)> answer) {
    GtkWidget* dialog = make(alert);
    auto* pending = new Pending{std::move(answer), alert.closedButton};
    g_signal_connect(dialog, "response",
                     G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                         std::unique_ptr<Pending> owned(static_cast<Pending*>(data));
                         gtk_widget_destroy(GTK_WIDGET(self));
                         owned->answer(response >= 0 ? response : owned->closedButton);
                     }),
                     pending);
    gtk_widget_show_all(dialog);
    present(GTK_WINDOW(dialog));
}

}  // namespace parlendo::GtkAccountAlerts
