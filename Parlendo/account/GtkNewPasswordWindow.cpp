#include "account/GtkNewPasswordWindow.h"

#include "account/GtkAccountStyle.h"
#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/PlatformWords.h"

namespace parlendo {

namespace {

GtkWidget* secretField(const char* placeholder) {
    return GtkAccountStyle::field(placeholder, GtkNewPasswordWindow::fieldWidth, true);
}

std::string textOf(GtkWidget* field) {
    const gchar* value = gtk_entry_get_text(GTK_ENTRY(field));
    return value != nullptr ? value : "";
}

}  // namespace

std::shared_ptr<GtkNewPasswordWindow> GtkNewPasswordWindow::make(
    std::shared_ptr<AccountService> account, std::function<void()> onDone, ExecutorPtr main) {
    auto window = std::shared_ptr<GtkNewPasswordWindow>(new GtkNewPasswordWindow(
        NewPasswordModel::make(std::move(account), std::move(onDone), std::move(main))));
    std::weak_ptr<GtkNewPasswordWindow> weak = window;
    auto& view = window->model_->view;
    view.changed = [weak] {
        if (auto self = weak.lock()) {
            self->render();
        }
    };
    view.clearFields = [weak] {
        auto self = weak.lock();
        if (self && self->widgets_.window != nullptr) {
            gtk_entry_set_text(GTK_ENTRY(self->widgets_.first), "");
            gtk_entry_set_text(GTK_ENTRY(self->widgets_.second), "");
        }
    };
    view.close = [weak] {
        auto self = weak.lock();
        if (self && self->widgets_.window != nullptr) {
            gtk_widget_hide(self->widgets_.window);
        }
    };
    return window;
}

GtkNewPasswordWindow::GtkNewPasswordWindow(std::shared_ptr<NewPasswordModel> model)
    : model_(std::move(model)) {}

GtkNewPasswordWindow::~GtkNewPasswordWindow() {
    if (widgets_.window != nullptr) {
        gtk_widget_destroy(widgets_.window);
    }
}

void GtkNewPasswordWindow::build() {
    auto& w = widgets_;
    w.window = GtkAccountStyle::window(NewPasswordModel::title, width, height);
    GtkWindow* window = GTK_WINDOW(w.window);
    GtkWidget* content = GtkAccountStyle::content();

    w.heading = gtk_label_new(NewPasswordModel::heading);
    GtkAccountStyle::bold(w.heading, GtkAccountStyle::headingSize);
    gtk_widget_set_halign(w.heading, GTK_ALIGN_START);
    w.first = secretField(NewPasswordModel::firstPlaceholder);
    w.second = secretField(NewPasswordModel::secondPlaceholder);
    w.button = gtk_button_new_with_label(NewPasswordModel::buttonTitle);
    gtk_widget_set_can_default(w.button, TRUE);
    gtk_widget_set_halign(w.button, GTK_ALIGN_START);
    w.message = gtk_label_new("");
    GtkWordWrap::wrap(w.message);
    // Wraps within the fields' width instead of widening the window.
    gtk_label_set_max_width_chars(GTK_LABEL(w.message), 36);
    gtk_label_set_xalign(GTK_LABEL(w.message), 0);
    gtk_widget_set_size_request(w.message, fieldWidth, -1);
    GtkAccountStyle::message(w.message, true);
    for (GtkWidget* child : {w.heading, w.first, w.second, w.button, w.message}) {
        gtk_box_pack_start(GTK_BOX(content), child, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(w.window), content);
    gtk_widget_show_all(content);
    gtk_window_set_default(window, w.button);

    g_signal_connect_data(
        w.button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            auto* weak = static_cast<std::weak_ptr<GtkNewPasswordWindow>*>(data);
            if (auto self = weak->lock()) {
                self->model_->submit(textOf(self->widgets_.first), textOf(self->widgets_.second));
            }
        }),
        new std::weak_ptr<GtkNewPasswordWindow>(weak_from_this()),
        +[](gpointer data, GClosure*) {
            delete static_cast<std::weak_ptr<GtkNewPasswordWindow>*>(data);
        },
        GConnectFlags(0));
}

void GtkNewPasswordWindow::render() {
    if (widgets_.window == nullptr) {
        return;
    }
    gtk_label_set_text(GTK_LABEL(widgets_.message),
                       PlatformWords::render(model_->message()).c_str());
    gtk_widget_set_sensitive(widgets_.button, model_->buttonEnabled());
}

void GtkNewPasswordWindow::show() {
    if (widgets_.window == nullptr) {
        build();
    }
    model_->show();
    GtkAlert::present(GTK_WINDOW(widgets_.window));
    gtk_widget_grab_focus(widgets_.first);
}

}  // namespace parlendo
