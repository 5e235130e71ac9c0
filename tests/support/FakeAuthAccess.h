#pragma once

#include "server/AuthTypes.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace parlendo::testing {

// An AuthAccess with a signed-in user that tests move around: sign in and out, rotate the access
// token, script what `recover` answers, and read the operation counters. Thread-safe.
//
// `recover` answers at once with the next scripted result (the last one repeats; a success by
// default, which also rotates the access token to "token-<n>"), unless `holdRecover(true)`, in
// which case it waits for `releaseRecover()`.
class FakeAuthAccess final : public AuthAccess {
  public:
    FakeAuthAccess() { signIn("user-1"); }
    // Recoveries still held are cancelled: the test chose not to release them.
    ~FakeAuthAccess() override {
        for (auto& completion : heldRecovers_) {
            completion.drop("the test ended without releasing the recovery");
        }
    }
    FakeAuthAccess(const FakeAuthAccess&) = delete;
    FakeAuthAccess& operator=(const FakeAuthAccess&) = delete;

    std::optional<AuthContext> context() const override;
    bool isCurrent(const std::optional<AuthContext>& context) const override;
    bool beginOperation(const AuthContext& context, bool awaited) override;
    void endOperation(bool awaited) override;
    std::optional<std::string> accessToken(const AuthContext& context) const override;
    void recover(Completion<void(AuthSessionResult)> completion) override;

    // A new account (generation + 1) with access token "token-1".
    void signIn(const std::string& userID);
    // Nobody signed in; the generation grows.
    void signOut();
    // Admission closes while the session is still held (a sign-out in progress).
    void closeAdmission();
    void setAccessToken(std::optional<std::string> token);
    std::optional<std::string> currentToken() const;

    void scriptRecover(AuthSessionResult result);
    void holdRecover(bool holding);
    bool releaseRecover();

    int awaitedInFlight() const;
    int backgroundInFlight() const;
    int beginCount() const;
    int endCount() const;
    int recoverCount() const;
    std::int64_t generation() const;

  private:
    AuthSessionResult nextRecoverLocked();

    mutable std::mutex mutex_;
    std::optional<std::string> userID_;
    std::int64_t generation_ = 0;
    bool admission_ = false;
    std::optional<std::string> token_;
    int tokenSerial_ = 0;
    int awaited_ = 0;
    int background_ = 0;
    int begins_ = 0;
    int ends_ = 0;
    int recovers_ = 0;
    std::deque<AuthSessionResult> recoverScript_;
    bool holdRecover_ = false;
    std::deque<Completion<void(AuthSessionResult)>> heldRecovers_;
};

}  // namespace parlendo::testing
