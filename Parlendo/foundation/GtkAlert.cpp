#include "foundation/GtkAlert.h"

#include "foundation/GlibMainExecutor.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/PlatformWords.h"
#include "foundation/UserActionTime.h"

#include <gdk/gdkx.h>

#include <memory>

namespace parlendo {

namespace {

constexpr const char* checkboxKey = "parlendo-checkbox";

struct Pending {
    Completion<void(GtkAlert::Answer)> answer;
    GtkWidget* checkbox = nullptr;
    int closedButton = 0;
};

// The deliberate button of a shown alert: inactive, and every key ignored, until the delay after
// the alert appeared has passed. The delay's task may outlive the dialog.
struct Guard {
    GtkWidget* dialog = nullptr;  // none once destroyed
    GtkWidget* button = nullptr;
    bool started = false;
    bool armed = false;

    void arm() {
        if (dialog == nullptr || armed) {
            return;
        }
        armed = true;
        gtk_widget_set_sensitive(button, TRUE);
        gtk_window_set_accept_focus(GTK_WINDOW(dialog), TRUE);
    }
};

using GuardPtr = std::shared_ptr<Guard>;

void connectGuard(GtkWidget* dialog, const char* signal, GCallback callback,
                  const GuardPtr& guard) {
    g_signal_connect_data(
        dialog, signal, callback, new GuardPtr(guard),
        +[](gpointer data, GClosure*) { delete static_cast<GuardPtr*>(data); }, GConnectFlags(0));
}

// What starts the delay once the alert is first on screen.
struct Arming {
    GuardPtr guard;
    ExecutorPtr timers;
};

gboolean ignoreKeyUnlessArmed(GtkWidget*, GdkEvent*, gpointer data) {
    return (*static_cast<GuardPtr*>(data))->armed ? FALSE : TRUE;
}

void forgetDialog(GtkWidget*, gpointer data) {
    (*static_cast<GuardPtr*>(data))->dialog = nullptr;
}

gboolean startDelay(GtkWidget*, GdkEvent*, gpointer data) {
    auto* arming = static_cast<Arming*>(data);
    if (!arming->guard->started) {
        arming->guard->started = true;
        arming->timers->postAfter(GtkAlert::deliberateDelay,
                                  [weak = std::weak_ptr<Guard>(arming->guard)] {
                                      if (auto alive = weak.lock()) {
                                          alive->arm();
                                      }
                                  });
    }
    return FALSE;
}

void guard(GtkWidget* dialog, GtkWidget* button, ExecutorPtr timers) {
    auto state = std::make_shared<Guard>();
    state->dialog = dialog;
    state->button = button;
    connectGuard(dialog, "key-press-event", G_CALLBACK(ignoreKeyUnlessArmed), state);
    connectGuard(dialog, "destroy", G_CALLBACK(forgetDialog), state);
    g_signal_connect_data(
        dialog, "map-event", G_CALLBACK(startDelay), new Arming{state, std::move(timers)},
        +[](gpointer data, GClosure*) { delete static_cast<Arming*>(data); }, GConnectFlags(0));
}

ExecutorPtr mainLoop() {
    static const ExecutorPtr executor = std::make_shared<GlibMainExecutor>();
    return executor;
}

}  // namespace

void GtkAlert::present(GtkWindow* window, Front front) {
    // The program's windows belong to the application, so its keys work there too.
    if (gtk_window_get_application(window) == nullptr) {
        GApplication* app = g_application_get_default();
        if (app != nullptr && GTK_IS_APPLICATION(app)) {
            gtk_window_set_application(window, GTK_APPLICATION(app));
        }
    }
    // Shown as the answer to the user's latest action, with its time: the window manager raises
    // the window and gives it the keyboard, unless the user has gone on elsewhere since.
    const guint32 time = UserActionTime::latest();
    // Keys the user types in another application must not answer a question.
    const bool takeFocus = front == Front::answer ||
                           (front == Front::question && !UserActionTime::elsewhereSince(time));
    GtkWidget* widget = GTK_WIDGET(window);
    gtk_widget_realize(widget);
    if (GdkWindow* surface = gtk_widget_get_window(widget); GDK_IS_X11_WINDOW(surface)) {
        gdk_x11_window_set_user_time(surface, time);
    }
    if (takeFocus) {
        // Mapped first, then asked to be activated: window managers act on that request, where
        // a window newly mapped among the program's others may be kept back.
        gtk_widget_show(widget);
        gtk_window_present_with_time(window, time);
    } else {
        // Mapped without the keyboard, then raised: a window that is not given the keyboard
        // would otherwise open beneath the one that has it.
        const bool focusOnMap = gtk_window_get_focus_on_map(window);
        gtk_window_set_focus_on_map(window, FALSE);
        gtk_widget_show(widget);
        gtk_window_set_focus_on_map(window, focusOnMap);
    }
    if (front != Front::answer) {
        gdk_window_raise(gtk_widget_get_window(widget));
    }
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
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), defaultButton);
    if (GtkWidget* chosen = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defaultButton)) {
        gtk_widget_grab_focus(chosen);
    }
    if (deliberateButton) {
        if (GtkWidget* button =
                gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), *deliberateButton)) {
            gtk_widget_set_sensitive(button, FALSE);
        }
        // The window the user is typing in keeps the keyboard.
        gtk_window_set_focus_on_map(GTK_WINDOW(dialog), FALSE);
        gtk_window_set_accept_focus(GTK_WINDOW(dialog), FALSE);
    }
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

GtkWidget* GtkAlert::show(Completion<void(Answer)> answer, ExecutorPtr timers) const {
    GtkWidget* dialog = make();
    GtkWidget* deliberate =
        deliberateButton ? gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), *deliberateButton)
                         : nullptr;
    if (deliberate != nullptr) {
        guard(dialog, deliberate, timers ? std::move(timers) : mainLoop());
    }
    auto* check = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(dialog), checkboxKey));
    auto* pending = new Pending{std::move(answer), check, closedButton};
    g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
            std::unique_ptr<Pending> owned(static_cast<Pending*>(data));
            // The answer is the user's action; what it leads to opens with its time.
            UserActionTime::note(gtk_get_current_event_time());
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
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(dialog)));
    present(GTK_WINDOW(dialog), deliberate != nullptr ? Front::withoutKeyboard : Front::question);
    return dialog;
}

}  // namespace parlendo
