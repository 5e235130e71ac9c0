#pragma once

#include "manage/ManageView.h"

#include <memory>

namespace parlendo {

// The manage window before the web views module is loaded: it stands in for the window the
// module builds, loads the module off the main loop when it is first shown, then builds the
// window and hands everything on to it. Until then there is no page: scripts answer nothing and
// pushes are dropped, as for a closed window. Main thread only.
class DeferredManageView final : public ManageView,
                                 public std::enable_shared_from_this<DeferredManageView> {
  public:
    static std::shared_ptr<DeferredManageView> make(std::shared_ptr<ManageBridge> bridge,
                                                    Theme theme, Options options);

    void show() override;
    void run(std::string script, Completion<void(std::optional<Json>)> completion) override;
    void push(const std::string& name, std::string script) override;
    GtkWindow* window() const override { return real_ ? real_->window() : nullptr; }
    WebKitWebView* webView() const override { return real_ ? real_->webView() : nullptr; }
    bool loaded() const override { return real_ && real_->loaded(); }

    // The window the module built; nothing before.
    const std::shared_ptr<ManageView>& real() const { return real_; }

  private:
    DeferredManageView(std::shared_ptr<ManageBridge> bridge, Theme theme, Options options);

    std::shared_ptr<ManageBridge> bridge_;
    Theme theme_;
    Options options_;
    std::shared_ptr<ManageView> real_;
    bool loading_ = false;
};

}  // namespace parlendo
