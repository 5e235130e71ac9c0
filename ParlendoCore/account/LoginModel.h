#pragma once

#include "auth/AccountTypes.h"
#include "auth/ProfileOnboarding.h"
#include "auth/ProfileStore.h"
#include "foundation/Executor.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// What the login window shows and does, without the window: its three modes and the controls
// each shows, the one message line, the busy state, the checks of what was typed, and the
// requests for signing in, signing up (then making sure the account has a username), the
// confirmation mail, the password-reset mail and the retry of an offline restore. The window
// reads the state after every `changed` and hands over the field texts when a button is pressed.
// Main thread; requests complete there and do nothing once the model is gone.
class LoginModel : public std::enable_shared_from_this<LoginModel> {
  public:
    enum class Mode { signIn, signUp, offline };

    struct Message {
        std::string text;
        bool error = false;  // red; otherwise the secondary label colour
        bool operator==(const Message&) const = default;
    };

    // The controls of a mode.
    struct Layout {
        std::string primaryTitle;
        std::string switchTitle;
        bool credentials = true;  // e-mail, password and the primary button
        bool username = false;
        bool forgot = false;
        bool retry = false;
        bool operator==(const Layout&) const = default;
    };

    // What the model asks of the window.
    struct View {
        std::function<void()> changed;
        std::function<void()> clearPassword;
        // Empties the display name (after a sign-up that waits for the mail's link).
        std::function<void()> clearUsername;
        // Hides the window.
        std::function<void()> close;
        std::function<void()> focusEmail;
    };

    struct Services {
        std::shared_ptr<AccountEntry> account;
        std::shared_ptr<ProfileStore> profiles;
        // A completed login with a ready profile.
        std::function<void()> onLoggedIn;
        // The user asks to reconnect (offline mode).
        std::function<void()> onRetry;
        ExecutorPtr main;
    };

    static constexpr double retryBusySeconds = 0.5;
    static constexpr const char* title = "PARLENDO";
    static constexpr const char* emailPlaceholder = "이메일";
    static constexpr const char* passwordPlaceholder = "비밀번호 (6자 이상)";
    static constexpr const char* usernamePlaceholder = "표시 이름 (username)";
    static constexpr const char* forgotTitle = "비밀번호를 잊으셨나요?";
    static constexpr const char* resendTitle = "인증 메일 다시 보내기";
    static constexpr const char* retryTitle = "다시 시도";
    static constexpr const char* offlineText =
        "서버에 연결하지 못해 저장된 로그인을 확인하지 못했어요.\n이 Mac의 로그인 정보는 그대로 "
        "있어요 — 연결되면 자동으로 다시 시도해요.";
    static constexpr const char* missingCredentials = "이메일과 비밀번호를 입력해 주세요.";
    static constexpr const char* missingUsername =
        "표시 이름을 입력해 주세요. 나중에 단어장에 쓰여요.";
    static constexpr const char* missingResetEmail =
        "먼저 이메일을 입력해 주세요. 그 주소로 재설정 메일을 보내요.";
    static constexpr const char* reconnecting = "다시 연결하는 중…";
    static constexpr const char* resent =
        "인증 메일을 다시 보냈어요. 받은 메일(스팸함 포함)을 확인해 주세요.";
    static constexpr const char* profileMissing =
        "프로필을 만들지 못했어요. 메뉴 막대의 「관리 창 열기…」에서 사용할 이름을 정해 주세요.";
    static constexpr const char* profileUnchecked = "프로필을 확인하지 못했어요: ";

    static std::shared_ptr<LoginModel> make(Services services);

    // The controls a mode shows.
    static Layout layout(Mode mode);
    // "… 로 재설정 메일을 보냈어요. …" for the address.
    static std::string resetSent(const std::string& email);

    View view;

    Mode mode() const { return mode_; }
    bool busy() const { return busy_; }
    const Message& message() const { return message_; }
    const std::optional<std::string>& resendTo() const { return resendTo_; }
    bool resendShown() const { return resendTo_.has_value(); }

    // Sets the mode (clearing the message and the resend address); `notice`, or in offline mode
    // the fixed offline text, becomes the message. Leaves `busy` as it is.
    void show(Mode mode, const std::optional<std::string>& notice);
    // A background restore succeeded: true when the window, visible in offline mode, must hide.
    bool restored(bool visible);

    // The buttons. Texts are the fields' contents as typed.
    void submit(const std::string& email, const std::string& password, const std::string& username);
    void switchMode();
    void forgotPassword(const std::string& email);
    void resend();
    void retry();

  private:
    explicit LoginModel(Services services);
    void setBusy(bool busy);
    void setMessage(std::string text, bool error);
    void showError(const std::string& text);
    void notify();
    void signUp(const std::string& email, const std::string& password, const std::string& username);
    void signIn(const std::string& email, const std::string& password);
    void finish(const ProfileState& state);
    void refused(const AccountError& error, const std::string& email);
    ProfileOnboarding onboarding() const { return {services_.account, services_.profiles}; }
    // A completion that runs `f` on the main executor while the model still exists.
    template <class Arg, class F>
    Completion<void(Arg)> onMain(F f);

    Services services_;
    Mode mode_ = Mode::signIn;
    std::optional<std::string> resendTo_;
    bool busy_ = false;
    Message message_;
};

}  // namespace parlendo
