#pragma once

#include "auth/AccountTypes.h"
#include "foundation/Executor.h"

#include <functional>
#include <memory>
#include <string>

namespace parlendo {

// What the new-password window shows and does, without the window: the password typed twice,
// checked here (at least six characters as the user sees them, then both the same) before it is
// set on the server for the account a recovery link signed in. Main thread; the change completes
// there and does nothing once the model is gone.
class NewPasswordModel : public std::enable_shared_from_this<NewPasswordModel> {
  public:
    struct View {
        std::function<void()> changed;
        std::function<void()> clearFields;
        std::function<void()> close;
    };

    static constexpr size_t minimumLength = 6;
    static constexpr const char* title = "새 비밀번호";
    static constexpr const char* heading = "새 비밀번호를 정해주세요";
    static constexpr const char* firstPlaceholder = "새 비밀번호 (6자 이상)";
    static constexpr const char* secondPlaceholder = "한 번 더 입력";
    static constexpr const char* buttonTitle = "비밀번호 바꾸기";
    static constexpr const char* tooShort = "비밀번호는 6자 이상이어야 해요.";
    static constexpr const char* mismatch = "두 번 입력한 비밀번호가 달라요.";

    static std::shared_ptr<NewPasswordModel> make(std::shared_ptr<AccountService> account,
                                                  std::function<void()> onDone, ExecutorPtr main);

    View view;

    const std::string& message() const { return message_; }
    bool buttonEnabled() const { return buttonEnabled_; }

    // A fresh start: empty fields, no message.
    void show();
    void submit(const std::string& first, const std::string& second);

  private:
    NewPasswordModel(std::shared_ptr<AccountService> account, std::function<void()> onDone,
                     ExecutorPtr main);
    void notify();

    std::shared_ptr<AccountService> account_;
    std::function<void()> onDone_;
    ExecutorPtr main_;
    std::string message_;
    bool buttonEnabled_ = true;
};

}  // namespace parlendo
