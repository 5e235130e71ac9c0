#pragma once

#include "account/AccountWindows.h"
#include "account/LoginModel.h"

#include <gtk/gtk.h>

#include <memory>

namespace parlendo {

// The login window on the desktop: e-mail, password (hidden as typed) and, for signing up, a
// display name; the primary button (also Return), the mode switch, the forgotten-password and
// resend buttons, the retry button of the offline mode, a spinner while a request runs and one
// message line. What it shows and does comes from its LoginModel. Built on the first show, centred
// on each show, only hidden when closed. Main thread.
class GtkLoginWindow final : public LoginWindowPort,
                             public std::enable_shared_from_this<GtkLoginWindow> {
  public:
    static constexpr int width = 380;
    static constexpr int height = 320;
    static constexpr int fieldWidth = 320;
    // Three lines of the message.
    static constexpr int messageHeight = 56;

    // The widgets, for tests.
    struct Widgets {
        GtkWidget* window = nullptr;
        GtkWidget* title = nullptr;
        GtkWidget* email = nullptr;
        GtkWidget* password = nullptr;
        GtkWidget* username = nullptr;
        GtkWidget* usernameRow = nullptr;
        GtkWidget* primary = nullptr;
        GtkWidget* retry = nullptr;
        GtkWidget* spinner = nullptr;
        GtkWidget* switchMode = nullptr;
        GtkWidget* forgot = nullptr;
        GtkWidget* message = nullptr;
        GtkWidget* resend = nullptr;
    };

    static std::shared_ptr<GtkLoginWindow> make(LoginModel::Services services);
    ~GtkLoginWindow() override;

    void show(LoginModel::Mode mode, const std::optional<std::string>& notice) override;
    void restored() override;
    void hide() override;

    const Widgets& widgets() const { return widgets_; }
    const std::shared_ptr<LoginModel>& model() const { return model_; }
    bool visible() const;

  private:
    GtkLoginWindow(std::shared_ptr<LoginModel> model, ExecutorPtr main);
    void build();
    void render();
    std::string text(GtkWidget* entry) const;

    std::shared_ptr<LoginModel> model_;
    ExecutorPtr main_;
    Widgets widgets_;
};

}  // namespace parlendo
