#include "shell/GtkAlerts.h"

#include "foundation/GtkAlert.h"

namespace parlendo::GtkAlerts {

namespace {

// The quit question while it is open (cleared when the dialog goes).
GtkWidget* openQuestion = nullptr;

GtkAlert dialogOf(const DeviceCare::Alert& alert, int closedButton) {
    return GtkAlert{alert.message,  alert.informative, alert.buttons, alert.warning,
                    alert.checkbox, alert.checkboxOn,  closedButton};
}

}  // namespace

GtkWidget* make(const DeviceCare::Alert& alert) {
    return dialogOf(alert, 0).make();
}

GtkWidget* show(const DeviceCare::Alert& alert, Completion<void(DeviceCare::Answer)> done,
                int closedButton) {
    return dialogOf(alert, closedButton)
        .show([done = std::move(done)](GtkAlert::Answer result) mutable {
            done(DeviceCare::Answer{result.button, result.checked});
        });
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
    GtkWidget* dialog = show(
        shutdownAlert(remaining, unsaved),
        [done = std::move(done)](DeviceCare::Answer answer) mutable {
            done(ShutdownPrompt::choice(answer.button));
        },
        1);
    if (openQuestion != nullptr) {
        g_object_remove_weak_pointer(G_OBJECT(openQuestion),
                                     reinterpret_cast<gpointer*>(&openQuestion));
    }
    openQuestion = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&openQuestion));
}

void closeShutdownQuestion() {
    if (openQuestion != nullptr) {
        gtk_dialog_response(GTK_DIALOG(openQuestion), GTK_RESPONSE_DELETE_EVENT);
    }
}

GtkWidget* shutdownQuestion() {
    return openQuestion;
}

}  // namespace parlendo::GtkAlerts
