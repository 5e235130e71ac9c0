#pragma once

#include "HeldCompletions.h"
#include "server/AuthTypes.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// An auth transport whose answers the test gives. A scripted answer (`answerSignIn` …) is
// delivered at once on the calling thread; without one the completion waits until the test
// calls `finishRefresh` (…), which delivers on the test's thread; calls still waiting when the fake
// goes are cancelled. Thread-safe.
class FakeAuthTransport final : public AuthTransport {
  public:
    using SignUpResult = Result<std::optional<AuthSession>, AuthFailure>;

    void signIn(const std::string& email, const std::string& password,
                Completion<void(AuthSessionResult)> completion) override;
    void signUp(const std::string& email, const std::string& password,
                Completion<void(SignUpResult)> completion) override;
    void refresh(const std::string& refreshToken,
                 Completion<void(AuthSessionResult)> completion) override;
    void signOut(const std::string& accessToken, Completion<void(bool)> completion) override;

    void answerSignIn(std::optional<AuthSessionResult> answer);
    void answerSignUp(std::optional<SignUpResult> answer);
    void answerRefresh(std::optional<AuthSessionResult> answer);
    void answerSignOut(bool revoked);

    // Delivers the oldest waiting answer; false when none waits.
    bool finishRefresh(AuthSessionResult result);
    bool finishSignIn(AuthSessionResult result);

    size_t pendingRefreshes() const;
    std::vector<std::string> refreshTokens() const;
    std::vector<std::string> signInEmails() const;
    std::vector<std::string> signOutTokens() const;
    int signUps() const;

  private:
    mutable std::mutex mutex_;
    std::optional<AuthSessionResult> signInAnswer_;
    std::optional<SignUpResult> signUpAnswer_;
    std::optional<AuthSessionResult> refreshAnswer_;
    bool signOutAnswer_ = true;
    HeldCompletions<AuthSessionResult> refreshes_;
    HeldCompletions<AuthSessionResult> signIns_;
    std::vector<std::string> refreshTokens_;
    std::vector<std::string> signInEmails_;
    std::vector<std::string> signOutTokens_;
    int signUps_ = 0;
};

// A session for tests: tokens derived from `name`, expiring at `expiresAt`.
AuthSession testSession(const std::string& userID, const std::string& name = "a",
                        double expiresAt = 1'780'003'600.0);

}  // namespace parlendo::testing
