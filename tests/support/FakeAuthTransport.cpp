#include "FakeAuthTransport.h"

namespace parlendo::testing {

void FakeAuthTransport::signIn(const std::string& email, const std::string&,
                               Completion<void(AuthSessionResult)> completion) {
    std::optional<AuthSessionResult> answer;
    {
        std::lock_guard lock(mutex_);
        signInEmails_.push_back(email);
        answer = signInAnswer_;
        if (!answer) {
            signIns_.hold(std::move(completion));
            return;
        }
    }
    completion(*answer);
}

void FakeAuthTransport::signUp(const std::string&, const std::string&,
                               Completion<void(SignUpResult)> completion) {
    SignUpResult answer = std::optional<AuthSession>();
    {
        std::lock_guard lock(mutex_);
        ++signUps_;
        if (signUpAnswer_) {
            answer = *signUpAnswer_;
        }
    }
    completion(answer);
}

void FakeAuthTransport::refresh(const std::string& refreshToken,
                                Completion<void(AuthSessionResult)> completion) {
    std::optional<AuthSessionResult> answer;
    {
        std::lock_guard lock(mutex_);
        refreshTokens_.push_back(refreshToken);
        answer = refreshAnswer_;
        if (!answer) {
            refreshes_.hold(std::move(completion));
            return;
        }
    }
    completion(*answer);
}

void FakeAuthTransport::signOut(const std::string& accessToken, Completion<void(bool)> completion) {
    bool answer = true;
    {
        std::lock_guard lock(mutex_);
        signOutTokens_.push_back(accessToken);
        answer = signOutAnswer_;
    }
    completion(answer);
}

void FakeAuthTransport::answerSignIn(std::optional<AuthSessionResult> answer) {
    std::lock_guard lock(mutex_);
    signInAnswer_ = std::move(answer);
}

void FakeAuthTransport::answerSignUp(std::optional<SignUpResult> answer) {
    std::lock_guard lock(mutex_);
    signUpAnswer_ = std::move(answer);
}

void FakeAuthTransport::answerRefresh(std::optional<AuthSessionResult> answer) {
    std::lock_guard lock(mutex_);
    refreshAnswer_ = std::move(answer);
}

void FakeAuthTransport::answerSignOut(bool revoked) {
    std::lock_guard lock(mutex_);
    signOutAnswer_ = revoked;
}

bool FakeAuthTransport::finishRefresh(AuthSessionResult result) {
    return refreshes_.answerOldest(std::move(result));
}

bool FakeAuthTransport::finishSignIn(AuthSessionResult result) {
    return signIns_.answerOldest(std::move(result));
}

size_t FakeAuthTransport::pendingRefreshes() const {
    return static_cast<size_t>(refreshes_.size());
}

std::vector<std::string> FakeAuthTransport::refreshTokens() const {
    std::lock_guard lock(mutex_);
    return refreshTokens_;
}

std::vector<std::string> FakeAuthTransport::signInEmails() const {
    std::lock_guard lock(mutex_);
    return signInEmails_;
}

std::vector<std::string> FakeAuthTransport::signOutTokens() const {
    std::lock_guard lock(mutex_);
    return signOutTokens_;
}

int FakeAuthTransport::signUps() const {
    std::lock_guard lock(mutex_);
    return signUps_;
}

AuthSession testSession(const std::string& userID, const std::string& name, double expiresAt) {
    return AuthSession{"access-" + name, "refresh-" + name, userID, userID + "@example.com",
                       expiresAt};
}

}  // namespace parlendo::testing
