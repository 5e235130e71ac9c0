#include "account/GtkLoginWindow.h"

#include "account/GtkAccountStyle.h"
#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/PlatformWords.h"
#include "foundation/SpinnerIcon.h"

namespace parlendo {

namespace {

GtkWidget* entry(const char* placeholder, bool secret) {
    GtkWidget* field = GtkAccountStyle::field(placeholder, GtkLoginWindow::fieldWidth, secret);
    if (!secret) {
        gtk_entry_set_input_purpose(GTK_ENTRY(field), GTK_INPUT_PURPOSE_EMAIL);
    }
    return field;
}

// Runs `act` on the window's model when a button is pressed, while the window exists.
template <class Act>
void onClick(GtkWidget* button, std::weak_ptr<GtkLoginWindow> weak, Act act) {
    struct Handler {
        std::weak_ptr<GtkLoginWindow> weak;
        Act act;
    };
    g_signal_connect_data(
        button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            auto* handler = static_cast<Handler*>(data);
            if (auto self = handler->weak.lock()) {
                handler->act(*self);
            }
        }),
        new Handler{std::move(weak), std::move(act)},
        +[](gpointer data, GClosure*) { delete static_cast<Handler*>(data); }, GConnectFlags(0));
}

}  // namespace

std::shared_ptr<GtkLoginWindow> GtkLoginWindow::make(LoginModel::Services services) {
    ExecutorPtr main = services.main;
    auto window = std::shared_ptr<GtkLoginWindow>(
        new GtkLoginWindow(LoginModel::make(std::move(services)), std::move(main)));
    std::weak_ptr<GtkLoginWindow> weak = window;
    auto& view = window->model_->view;
    view.changed = [weak] {
        if (auto self = weak.lock()) {
            self->render();
        }
    };
    view.clearPassword = [weak] {
        if (auto self = weak.lock(); self && self->widgets_.password) {
            gtk_entry_set_text(GTK_ENTRY(self->widgets_.password), "");
        }
    };
    view.clearUsername = [weak] {
        if (auto self = weak.lock(); self && self->widgets_.username) {
            gtk_entry_set_text(GTK_ENTRY(self->widgets_.username), "");
        }
    };
    view.close = [weak] {
        if (auto self = weak.lock()) {
            self->hide();
        }
    };
    view.focusEmail = [weak] {
        if (auto self = weak.lock(); self && self->widgets_.email) {
            gtk_widget_grab_focus(self->widgets_.email);
        }
    };
    return window;
}

GtkLoginWindow::GtkLoginWindow(std::shared_ptr<LoginModel> model, ExecutorPtr main)
    : model_(std::move(model)), main_(std::move(main)) {}

GtkLoginWindow::~GtkLoginWindow() {
    if (widgets_.window != nullptr) {
        gtk_widget_destroy(widgets_.window);
    }
}

std::string GtkLoginWindow::text(GtkWidget* field) const {
    const gchar* value = gtk_entry_get_text(GTK_ENTRY(field));
    return value != nullptr ? value : "";
}

bool GtkLoginWindow::visible() const {
    return widgets_.window != nullptr && gtk_widget_get_visible(widgets_.window);
}

void GtkLoginWindow::build() {
    auto& w = widgets_;
    w.window = GtkAccountStyle::window(LoginModel::title, width, height);
    GtkWindow* window = GTK_WINDOW(w.window);
    GtkWidget* content = GtkAccountStyle::content();

    w.title = gtk_label_new(LoginModel::title);
    GtkAccountStyle::bold(w.title, GtkAccountStyle::titleSize);
    gtk_widget_set_halign(w.title, GTK_ALIGN_START);
    w.email = entry(LoginModel::emailPlaceholder, false);
    w.password = entry(LoginModel::passwordPlaceholder, true);
    w.username = entry(LoginModel::usernamePlaceholder, false);
    gtk_entry_set_input_purpose(GTK_ENTRY(w.username), GTK_INPUT_PURPOSE_FREE_FORM);
    w.usernameRow = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_pack_start(GTK_BOX(w.usernameRow), w.username, FALSE, FALSE, 0);

    w.primary = gtk_button_new_with_label("");
    gtk_widget_set_can_default(w.primary, TRUE);
    w.retry = gtk_button_new_with_label(LoginModel::retryTitle);
    w.spinner = gtk_spinner_new();
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_box_pack_start(GTK_BOX(buttons), w.primary, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), w.retry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), w.spinner, FALSE, FALSE, 0);

    w.switchMode = gtk_button_new_with_label("");
    w.forgot = gtk_button_new_with_label(LoginModel::forgotTitle);
    for (GtkWidget* inline_ : {w.switchMode, w.forgot}) {
        gtk_button_set_relief(GTK_BUTTON(inline_), GTK_RELIEF_NONE);
        gtk_widget_set_halign(inline_, GTK_ALIGN_START);
    }
    w.message = gtk_label_new("");
    GtkWordWrap::wrap(w.message);
    // Wraps within the fields' width instead of widening the window.
    gtk_label_set_max_width_chars(GTK_LABEL(w.message), 36);
    gtk_label_set_xalign(GTK_LABEL(w.message), 0);
    // Room for three lines, so that a message does not make the window grow.
    gtk_widget_set_size_request(w.message, fieldWidth, messageHeight);
    gtk_label_set_yalign(GTK_LABEL(w.message), 0);
    w.resend = gtk_button_new_with_label(LoginModel::resendTitle);
    gtk_widget_set_halign(w.resend, GTK_ALIGN_START);

    for (GtkWidget* child : {w.title, w.email, w.password, w.usernameRow, buttons, w.switchMode,
                             w.forgot, w.message, w.resend}) {
        gtk_box_pack_start(GTK_BOX(content), child, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(w.window), content);
    gtk_widget_show_all(content);
    gtk_window_set_default(window, w.primary);

    std::weak_ptr<GtkLoginWindow> weak = weak_from_this();
    onClick(w.primary, weak, [](GtkLoginWindow& self) {
        self.model_->submit(self.text(self.widgets_.email), self.text(self.widgets_.password),
                            self.text(self.widgets_.username));
    });
    onClick(w.switchMode, weak, [](GtkLoginWindow& self) { self.model_->switchMode(); });
    onClick(w.forgot, weak, [](GtkLoginWindow& self) {
        self.model_->forgotPassword(self.text(self.widgets_.email));
    });
    onClick(w.resend, weak, [](GtkLoginWindow& self) { self.model_->resend(); });
    onClick(w.retry, weak, [](GtkLoginWindow& self) { self.model_->retry(); });
}

void GtkLoginWindow::render() {
    auto& w = widgets_;
    if (w.window == nullptr) {
        return;
    }
    const LoginModel& model = *model_;
    const LoginModel::Layout layout = LoginModel::layout(model.mode());
    gtk_button_set_label(GTK_BUTTON(w.primary), layout.primaryTitle.c_str());
    gtk_button_set_label(GTK_BUTTON(w.switchMode), layout.switchTitle.c_str());
    gtk_widget_set_visible(w.email, layout.credentials);
    gtk_widget_set_visible(w.password, layout.credentials);
    gtk_widget_set_visible(w.primary, layout.credentials);
    gtk_widget_set_visible(w.usernameRow, layout.username);
    gtk_widget_set_visible(w.forgot, layout.forgot);
    gtk_widget_set_visible(w.retry, layout.retry);
    // The resend button keeps its room while hidden: the window keeps its size.
    gtk_widget_set_child_visible(w.resend, model.resendShown());

    const bool busy = model.busy();
    for (GtkWidget* button : {w.primary, w.switchMode, w.resend, w.retry}) {
        gtk_widget_set_sensitive(button, !busy);
    }
    gtk_widget_set_visible(w.spinner, busy);
    if (busy) {
        gtk_spinner_start(GTK_SPINNER(w.spinner));
    } else {
        gtk_spinner_stop(GTK_SPINNER(w.spinner));
    }
    const auto& message = model.message();
    gtk_label_set_text(GTK_LABEL(w.message), PlatformWords::render(message.text).c_str());
    GtkAccountStyle::message(w.message, message.error);
}

void GtkLoginWindow::show(LoginModel::Mode mode, const std::optional<std::string>& notice) {
    if (widgets_.window == nullptr) {
        build();
        // Its spinner turns while the user waits for the account.
        if (main_) {
            SpinnerIcon::prepare(main_);
        }
    }
    model_->show(mode, notice);
    if (!visible()) {
        gtk_window_set_position(GTK_WINDOW(widgets_.window), GTK_WIN_POS_CENTER);
    }
    GtkAlert::present(GTK_WINDOW(widgets_.window));
    if (mode == LoginModel::Mode::offline) {
        gtk_window_set_focus(GTK_WINDOW(widgets_.window), nullptr);
    } else {
        gtk_widget_grab_focus(widgets_.email);
    }
}

void GtkLoginWindow::restored() {
    if (widgets_.window != nullptr && model_->restored(visible())) {
        hide();
    }
}

void GtkLoginWindow::hide() {
    if (widgets_.window != nullptr) {
        gtk_widget_hide(widgets_.window);
    }
}

}  // namespace parlendo
