#include "foundation/GtkAlert.h"

#include "foundation/GtkWordWrap.h"
#include "foundation/PlatformWords.h"

#include <memory>

namespace parlendo {

namespace {

constexpr const char* checkboxKey = "parlendo-checkbox";

struct Pending {
    Completion<void(GtkAlert::Answer)> answer;
    GtkWidget* checkbox = nullptr;
    int closedButton = 0;
};

}  // namespace

void GtkAlert::present(GtkWindow* window) {
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

GtkWidget* GtkAlert::make() const {
    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO,
        GTK_BUTTONS_NONE, "%s", PlatformWords::render(message).c_str());
    if (!informative.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 PlatformWords::render(informative).c_str());
    }
    GtkWordWrap::wrapWithin(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog)));
    gtk_window_set_title(GTK_WINDOW(dialog), "PARLENDO");
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    const std::vector<std::string> labels =
        buttons.empty() ? std::vector<std::string>{"확인"} : buttons;
    for (size_t i = 0; i < labels.size(); ++i) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), PlatformWords::render(labels[i]).c_str(),
                              static_cast<int>(i));
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    if (checkbox) {
        GtkWidget* check =
            gtk_check_button_new_with_label(PlatformWords::render(*checkbox).c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), checkboxOn);
        GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
        gtk_box_pack_end(GTK_BOX(area), check, FALSE, FALSE, 0);
        gtk_widget_show(check);
        g_object_set_data(G_OBJECT(dialog), checkboxKey, check);
    }
    return dialog;
}

GtkWidget* GtkAlert::show(Completion<void(Answer)> answer) const {
    GtkWidget* dialog = make();
    auto* check = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(dialog), checkboxKey));
    auto* pending = new Pending{std::move(answer), check, closedButton};
    g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
            std::unique_ptr<Pending> owned(static_cast<Pending*>(data));
            Answer result;
            result.button = response >= 0 ? response : owned->closedButton;
            if (owned->checkbox != nullptr) {
                result.checked =
                    gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(owned->checkbox)) != FALSE;
            }
            gtk_widget_destroy(GTK_WIDGET(self));
            owned->answer(result);
        }),
        pending);
    gtk_widget_show_all(dialog);
    present(GTK_WINDOW(dialog));
    return dialog;
}

}  // namespace parlendo
