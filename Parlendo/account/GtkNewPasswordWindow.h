#pragma once

#include "account/AccountWindows.h"
#include "account/NewPasswordModel.h"

#include <gtk/gtk.h>

#include <memory>

namespace parlendo {

// The new-password window on the desktop: the new password twice (hidden as typed), the
// "비밀번호 바꾸기" button (also Return) and one red message line; what it does comes from its
// NewPasswordModel. Built on the first show, centred on each show, only hidden when closed.
// Main thread.
class GtkNewPasswordWindow final : public NewPasswordWindowPort,
                                   public std::enable_shared_from_this<GtkNewPasswordWindow> {
  public:
    static constexpr int width = 380;
    static constexpr int height = 220;
    static constexpr int fieldWidth = 320;

    struct Widgets {
        GtkWidget* window = nullptr;
        GtkWidget* heading = nullptr;
        GtkWidget* first = nullptr;
        GtkWidget* second = nullptr;
        GtkWidget* button = nullptr;
        GtkWidget* message = nullptr;
    };

    static std::shared_ptr<GtkNewPasswordWindow> make(std::shared_ptr<AccountService> account,
                                                      std::function<void()> onDone,
                                                      ExecutorPtr main);
    ~GtkNewPasswordWindow() override;

    void show() override;

    const Widgets& widgets() const { return widgets_; }
    const std::shared_ptr<NewPasswordModel>& model() const { return model_; }

  private:
    explicit GtkNewPasswordWindow(std::shared_ptr<NewPasswordModel> model);
    void build();
    void render();

    std::shared_ptr<NewPasswordModel> model_;
    Widgets widgets_;
};

}  // namespace parlendo
