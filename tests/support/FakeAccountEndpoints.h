#pragma once

#include "auth/AccountTypes.h"
#include "foundation/Executor.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Account endpoints with scripted answers, delivered at once (a revocation on `revokeOn` when it
// is set, as the network thread would answer). Main-thread use only.
class FakeAccountEndpoints final : public AccountEndpoints {
  public:
    void recover(const std::string& email, const std::string& redirectTo,
                 Completion<void(VoidResult)> completion) override {
        recovers.push_back(email + "|" + redirectTo);
        completion(recoverAnswer);
    }
    void updatePassword(const std::string& password, const std::string& accessToken,
                        Completion<void(VoidResult)> completion) override {
        passwords.push_back(password + "|" + accessToken);
        if (duringUpdate) {
            duringUpdate();
        }
        completion(updateAnswer);
    }
    void stageSignUp(std::optional<std::string> username) override { staged.push_back(username); }
    void resendConfirmation(const std::string& email,
                            Completion<void(Result<void, AuthFailure>)> completion) override {
        resends.push_back(email);
        completion(resendAnswer);
    }
    void exchange(const std::string& refreshToken,
                  Completion<void(AuthSessionResult)> completion) override {
        exchanges.push_back(refreshToken);
        completion(exchangeAnswer);
    }
    void revoke(const std::string& accessToken, Completion<void()> completion) override {
        revokes.push_back(accessToken);
        if (revokeOn) {
            revokeOn->post([completion = std::move(completion)]() mutable { completion(); });
            return;
        }
        completion();
    }
    void signupUsername(const std::string& accessToken,
                        Completion<void(std::optional<std::string>)> completion) override {
        usernameTokens.push_back(accessToken);
        completion(usernameAnswer);
    }

    VoidResult recoverAnswer;
    VoidResult updateAnswer;
    std::function<void()> duringUpdate;
    Result<void, AuthFailure> resendAnswer;
    AuthSessionResult exchangeAnswer = fail(AuthFailure::badResponse());
    std::optional<std::string> usernameAnswer;
    ExecutorPtr revokeOn;

    std::vector<std::string> recovers;
    std::vector<std::string> passwords;
    std::vector<std::optional<std::string>> staged;
    std::vector<std::string> resends;
    std::vector<std::string> exchanges;
    std::vector<std::string> revokes;
    std::vector<std::string> usernameTokens;
};

}  // namespace parlendo::testing
