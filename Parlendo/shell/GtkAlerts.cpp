#include "shell/GtkAlerts.h"

#include "foundation/PlatformWords.h"

#include <memory>

namespace parlendo::GtkAlerts {

namespace {

struct Pending {
    Completion<void(DeviceCare::Answer)> done;
    GtkWidget* checkbox = nullptr;
    int closedButton = 0;
};

}  // namespace

void present(GtkWindow* window) {
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_present_with_time(window, GDK_CURRENT_TIME);
    gtk_window_set_keep_above(window, FALSE);
}

GtkWidget* make(const DeviceCare::Alert& alert) {
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
    if (alert.checkbox) {
        GtkWidget* check =
            gtk_check_button_new_with_label(PlatformWords::render(*alert.checkbox).c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), alert.checkboxOn);
        GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
        gtk_box_pack_end(GTK_BOX(area), check, FALSE, FALSE, 0);
        gtk_widget_show(check);
        g_object_set_data(G_OBJECT(dialog), "parlendo-checkbox", check);
    }
    return dialog;
}

void show(const DeviceCare::Alert& alert, Completion<void(DeviceCare::Answer)> done,
          int closedButton) {
    GtkWidget* dialog = make(alert);
    auto* checkbox =
        static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(dialog), "parlendo-checkbox"));
    auto* pending = new Pending{std::move(done), checkbox, closedButton};
    g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
            std::unique_ptr<Pending> owned(static_cast<Pending*>(data));
            DeviceCare::Answer answer;
            answer.button = response >= 0 ? response : owned->closedButton;
            if (owned->checkbox != nullptr) {
                answer.checked =
                    gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(owned->checkbox)) != FALSE;
            }
            gtk_widget_destroy(GTK_WIDGET(self));
            owned->done(answer);
        }),
        pending);
    gtk_widget_show_all(dialog);
    present(GTK_WINDOW(dialog));
}

DeviceCare::Alert shutdownAlert(int remaining, int unsaved) {
    return DeviceCare::Alert{ShutdownPrompt::title,
                             ShutdownPrompt::message(remaining, unsaved),
                             {ShutdownPrompt::buttons.begin(), ShutdownPrompt::buttons.end()},
                             true,
                             std::nullopt,
                             false};
}

void askShutdown(int remaining, int unsaved, Completion<void(ShutdownPrompt::Choice)> done) {
    // Closing the question without a button cancels the quit.
    show(
        shutdownAlert(remaining, unsaved),
        [done = std::move(done)](DeviceCare::Answer answer) mutable {
            done(ShutdownPrompt::choice(answer.button));
        },
        1);
}

}  // namespace parlendo::GtkAlerts
