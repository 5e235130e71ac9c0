#pragma once

#include "auth/AccountTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// An account whose answers the test scripts; it records what it was asked, in order. Answers
// are given at once unless `hold` keeps the next one until `release`.
struct ScriptedAccount final : AccountEntry {
    std::optional<std::string> signedInUser;
    Result<std::string, AccountError> signInAnswer = std::string("u1");
    Result<SignUpOutcome, AccountError> signUpAnswer = SignUpOutcome::signedIn("u1");
    VoidResult resendAnswer;
    VoidResult resetAnswer;
    VoidResult passwordAnswer;
    std::optional<std::string> metadataName;
    std::vector<std::string> asked;
    bool hold = false;
    std::vector<std::function<void()>> held;

    bool isLoggedIn() const override { return signedInUser.has_value(); }
    std::optional<std::string> email() const override {
        return signedInUser ? std::optional<std::string>(*signedInUser + "@example.com")
                            : std::nullopt;
    }
    std::optional<std::string> userID() const override { return signedInUser; }
    void restore(Completion<void(bool)> c) override { c(isLoggedIn()); }
    void signIn(const std::string& e, const std::string& p,
                Completion<void(Result<std::string, AccountError>)> c) override {
        asked.push_back("sign_in " + e + "|" + p);
        answer([this, c = std::make_shared<decltype(c)>(std::move(c))] {
            if (signInAnswer) {
                signedInUser = *signInAnswer;
            }
            (*c)(signInAnswer);
        });
    }
    void signUp(const std::string& e, const std::string& p,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        signUp(e, p, "", std::move(c));
    }
    void signOut(std::function<bool()> stopWork, Completion<void(LogoutOutcome)> c) override {
        asked.push_back("sign_out");
        signedInUser.reset();
        c(LogoutOutcome{stopWork ? stopWork() : true, true, true, true, 1});
    }
    void sendPasswordReset(const std::string& e, Completion<void(VoidResult)> c) override {
        asked.push_back("reset " + e);
        answer([this, c = std::make_shared<decltype(c)>(std::move(c))] { (*c)(resetAnswer); });
    }
    bool adoptRecoverySession(std::string_view) override { return false; }
    void updatePassword(const std::string& p, Completion<void(VoidResult)> c) override {
        asked.push_back("password " + p);
        answer([this, c = std::make_shared<decltype(c)>(std::move(c))] { (*c)(passwordAnswer); });
    }
    void restoreState(Completion<void(RestoreOutcome)> c) override {
        c(isLoggedIn() ? RestoreOutcome::ready : RestoreOutcome::needLogin);
    }
    void signUp(const std::string& e, const std::string& p, const std::string& username,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        asked.push_back("sign_up " + e + "|" + p + "|" + username);
        answer([this, c = std::make_shared<decltype(c)>(std::move(c))] {
            if (signUpAnswer && signUpAnswer->isSignedIn()) {
                signedInUser = *signUpAnswer->userID();
            }
            (*c)(signUpAnswer);
        });
    }
    void resendConfirmation(const std::string& e, Completion<void(VoidResult)> c) override {
        asked.push_back("resend " + e);
        answer([this, c = std::make_shared<decltype(c)>(std::move(c))] { (*c)(resendAnswer); });
    }
    void signupUsername(Completion<void(std::optional<std::string>)> c) override {
        c(metadataName);
    }

    void release() {
        auto pending = std::move(held);
        held.clear();
        for (auto& f : pending) {
            f();
        }
    }

  private:
    void answer(std::function<void()> f) {
        if (hold) {
            held.push_back(std::move(f));
        } else {
            f();
        }
    }
};

}  // namespace parlendo::testing
