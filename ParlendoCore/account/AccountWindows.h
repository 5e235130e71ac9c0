#pragma once

#include "account/LoginModel.h"
#include "account/NewPasswordModel.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The login window as the account module drives it. Main thread.
class LoginWindowPort {
  public:
    virtual ~LoginWindowPort() = default;
    // Brings the application forward and shows the window in `mode` (with the notice, if any).
    virtual void show(LoginModel::Mode mode, const std::optional<std::string>& notice) = 0;
    // A background restore succeeded: the window hides only when it shows the offline mode.
    virtual void restored() = 0;
    virtual void hide() = 0;
};

// The new-password window of a recovery link. Main thread.
class NewPasswordWindowPort {
  public:
    virtual ~NewPasswordWindowPort() = default;
    virtual void show() = 0;
};

// How the platform builds the two windows, each on first use, over their models' services.
struct AccountWindows {
    std::function<std::shared_ptr<LoginWindowPort>(LoginModel::Services)> login;
    std::function<std::shared_ptr<NewPasswordWindowPort>(
        std::shared_ptr<AccountService> account, std::function<void()> onDone, ExecutorPtr main)>
        newPassword;
};

}  // namespace parlendo
