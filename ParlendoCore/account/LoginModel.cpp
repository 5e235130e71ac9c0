#include "account/LoginModel.h"

#include "auth/AccountSession.h"
#include "auth/AuthCode.h"
#include "foundation/Log.h"
#include "foundation/PlatformWords.h"

namespace parlendo {

std::shared_ptr<LoginModel> LoginModel::make(Services services) {
    return std::shared_ptr<LoginModel>(new LoginModel(std::move(services)));
}

LoginModel::LoginModel(Services services) : services_(std::move(services)) {}

LoginModel::Layout LoginModel::layout(Mode mode) {
    switch (mode) {
        case Mode::signIn:
            return Layout{"로그인", "계정이 없어요 → 회원가입", true, false, true, false};
        case Mode::signUp:
            return Layout{
                "가입하고 시작하기", "이미 계정이 있어요 → 로그인", true, true, false, false};
        case Mode::offline:
            return Layout{"로그인", "다른 계정으로 로그인", false, false, false, true};
    }
    return Layout{};
}

std::string LoginModel::resetSent(const std::string& email) {
    return PlatformWords::value(email) +
           " 로 재설정 메일을 보냈어요.\n메일의 링크를 누르면 이 앱에서 새 비밀번호를 정할 수 "
           "있어요.";
}

template <class Arg, class F>
Completion<void(Arg)> LoginModel::onMain(F f) {
    std::weak_ptr<LoginModel> weak = weak_from_this();
    return [weak, main = services_.main, f = std::move(f)](Arg value) mutable {
        main->post([weak, f = std::move(f), value = std::move(value)]() mutable {
            if (auto self = weak.lock()) {
                f(*self, std::move(value));
            }
        });
    };
}

void LoginModel::notify() {
    if (view.changed) {
        view.changed();
    }
}

void LoginModel::setBusy(bool busy) {
    busy_ = busy;
    notify();
}

void LoginModel::setMessage(std::string text, bool error) {
    message_ = Message{std::move(text), error};
    notify();
}

void LoginModel::showError(const std::string& text) {
    Log::write("login_ui", "사용자에게 보인 오류 " + Log::redact(text));
    setMessage(text, true);
}

void LoginModel::show(Mode mode, const std::optional<std::string>& notice) {
    mode_ = mode;
    resendTo_.reset();
    message_ = Message{};
    if (mode == Mode::offline) {
        message_ = Message{offlineText, false};
    } else if (notice) {
        message_ = Message{*notice, false};
    }
    notify();
}

bool LoginModel::restored(bool visible) {
    if (mode_ != Mode::offline || !visible) {
        return false;
    }
    busy_ = false;
    mode_ = Mode::signIn;
    notify();
    return true;
}

void LoginModel::switchMode() {
    mode_ = mode_ == Mode::signIn ? Mode::signUp : Mode::signIn;
    resendTo_.reset();
    message_ = Message{};
    notify();
    if (view.focusEmail) {
        view.focusEmail();
    }
}

void LoginModel::retry() {
    if (busy_) {
        return;
    }
    busy_ = true;
    setMessage(reconnecting, false);
    Log::write("login_ui", "다시 시도 눌림");
    if (services_.onRetry) {
        services_.onRetry();
    }
    std::weak_ptr<LoginModel> weak = weak_from_this();
    services_.main->postAfter(retryBusySeconds, [weak] {
        if (auto self = weak.lock()) {
            self->setBusy(false);
        }
    });
}

void LoginModel::resend() {
    if (busy_ || !resendTo_) {
        return;
    }
    setBusy(true);
    services_.account->resendConfirmation(
        *resendTo_, onMain<VoidResult>([](LoginModel& self, VoidResult result) {
            self.busy_ = false;
            if (result) {
                self.setMessage(resent, false);
            } else {
                self.showError(result.error().description());
            }
        }));
}

void LoginModel::forgotPassword(const std::string& typed) {
    const std::string email = trimWhitespace(typed);
    if (email.find('@') == std::string::npos) {
        showError(missingResetEmail);
        return;
    }
    setBusy(true);
    services_.account->sendPasswordReset(
        email, onMain<VoidResult>([email](LoginModel& self, VoidResult result) {
            self.busy_ = false;
            if (result) {
                self.setMessage(resetSent(email), false);
            } else {
                self.showError(result.error().description());
            }
        }));
}

void LoginModel::submit(const std::string& typedEmail, const std::string& password,
                        const std::string& typedUsername) {
    if (busy_) {
        return;
    }
    const std::string email = trimWhitespace(typedEmail);
    const std::string username = trimWhitespace(typedUsername);
    if (email.find('@') == std::string::npos || password.empty()) {
        showError(missingCredentials);
        return;
    }
    if (mode_ == Mode::signUp && username.empty()) {
        showError(missingUsername);
        return;
    }
    busy_ = true;
    message_ = Message{};
    resendTo_.reset();
    notify();
    if (mode_ == Mode::signUp) {
        signUp(email, password, username);
    } else {
        signIn(email, password);
    }
}

void LoginModel::signUp(const std::string& email, const std::string& password,
                        const std::string& username) {
    services_.account->signUp(
        email, password, username,
        onMain<Result<SignUpOutcome, AccountError>>(
            [email, username](LoginModel& self, Result<SignUpOutcome, AccountError> outcome) {
                if (!outcome) {
                    self.refused(outcome.error(), email);
                    return;
                }
                if (!outcome->isSignedIn()) {
                    self.busy_ = false;
                    // The form is done with: only the address stays, for the sign-in after the
                    // mail's link.
                    if (self.view.clearPassword) {
                        self.view.clearPassword();
                    }
                    if (self.view.clearUsername) {
                        self.view.clearUsername();
                    }
                    self.resendTo_ = email;
                    self.setMessage(AccountSession::needsConfirmationMessage, false);
                    return;
                }
                self.onboarding().create(
                    username,
                    self.onMain<ProfileState>([email](LoginModel& again, ProfileState state) {
                        again.onboarding().fillIn(
                            state, email,
                            again.onMain<ProfileState>([](LoginModel& last, ProfileState filled) {
                                last.finish(filled);
                            }));
                    }));
            }));
}

void LoginModel::signIn(const std::string& email, const std::string& password) {
    services_.account->signIn(
        email, password,
        onMain<Result<std::string, AccountError>>(
            [email](LoginModel& self, Result<std::string, AccountError> signedIn) {
                if (!signedIn) {
                    self.refused(signedIn.error(), email);
                    return;
                }
                self.onboarding().settle(self.onMain<Result<ProfileState, CallFailure>>(
                    [email](LoginModel& again, Result<ProfileState, CallFailure> settled) {
                        if (!settled) {
                            again.busy_ = false;
                            again.showError(profileUnchecked +
                                            AccountMessages::profileFailure(settled.error()));
                            return;
                        }
                        again.onboarding().fillIn(
                            *settled, email,
                            again.onMain<ProfileState>([](LoginModel& last, ProfileState filled) {
                                last.finish(filled);
                            }));
                    }));
            }));
}

void LoginModel::finish(const ProfileState& state) {
    busy_ = false;
    if (state.is<ProfileState::NeedProfile>()) {
        showError(profileMissing);
        return;
    }
    notify();
    if (view.clearPassword) {
        view.clearPassword();
    }
    if (view.close) {
        view.close();
    }
    if (services_.onLoggedIn) {
        services_.onLoggedIn();
    }
}

void LoginModel::refused(const AccountError& error, const std::string& email) {
    busy_ = false;
    if (error.code == AuthCode::emailNotConfirmed) {
        resendTo_ = email;
    }
    if (error.code == AuthCode::signupEmailExists) {
        mode_ = Mode::signIn;
    }
    showError(error.description());
}

}  // namespace parlendo
