#pragma once

#include "auth/AccountTypes.h"
#include "auth/AuthRuntime.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "foundation/Function.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The account-level face of the auth runtime: one coalesced restore with three attempts, the
// 60-second keeper that keeps the access token fresh, the drain of pending saves before a
// sign-out, recovery links, password change, and the callbacks through which the rest of the
// application learns what happened.
//
// The operations that change which account is signed in (restore, sign-in, sign-up, sign-out,
// recovery inspection and adoption) are called on the main executor and complete there; the
// others (resend, sign-up name, reset mail, discard, password change) may be called from any
// thread and complete on whatever thread the endpoint answers on. Its waits (between restore
// attempts, while saves drain before a sign-out) are timers on the main executor; the stored
// login is read on the background executor, and a recovery link's login is written through the
// runtime's store call, never on the main executor.
class AccountSession final : public AccountEntry,
                             public std::enable_shared_from_this<AccountSession> {
  public:
    struct Services {
        std::shared_ptr<AuthRuntime> auth;
        std::shared_ptr<AccountEndpoints> endpoints;
        std::shared_ptr<SessionStore> store;
        ExecutorPtr main;
        // Where restore asks the store whether a token is kept.
        ExecutorPtr background;
        // The elapsed time of the resend (the system's clock when none is given).
        std::shared_ptr<MonotonicClock> clock;
    };

    static constexpr int restoreAttempts = 3;
    static constexpr double restoreBackoff = 0.3;
    static constexpr double pendingDrainTimeout = 5.0;
    static constexpr double keeperInterval = 60;
    static constexpr double keeperMargin = 300;
    static constexpr const char* recoveryRedirect = "parlendo://auth-callback";
    static constexpr const char* needsConfirmationMessage =
        "가입은 됐어요. 메일에서 확인 링크를 누른 뒤 로그인하세요.";
    static const AccountError& staleContext();

    static std::shared_ptr<AccountSession> make(Services services);

    // The short log text of a token failure.
    static std::string reason(const AuthFailure& failure) { return logReason(failure); }

    // Callbacks, set on the main executor before use.
    void setOnAuthChange(std::function<void()> callback) { onAuthChange_ = std::move(callback); }
    void setOnSessionLost(std::function<void()> callback) { onSessionLost_ = std::move(callback); }
    void setOnRefused(std::function<void()> callback) { onRefused_ = std::move(callback); }
    void setOnAccepted(std::function<void(const std::string&)> callback) {
        onAccepted_ = std::move(callback);
    }
    void setOnSignedOut(std::function<void()> callback) { onSignedOut_ = std::move(callback); }
    // Told, just before onSignedOut, which account the user's own sign-out ended (none was
    // signed in: not told). The sign-out's drain is over by then. The sign-out of a recovery link
    // that switches accounts is not the user's and is not told.
    void setOnSignedOutOf(std::function<void(const std::string&)> callback) {
        onSignedOutOf_ = std::move(callback);
    }
    // Told, with the account, each time the login of the signed-in account is good again: it was
    // signed in, restored or adopted, or a refresh renewed its tokens.
    void setOnLoginBack(std::function<void(const std::string&)> callback) {
        onLoginBack_ = std::move(callback);
    }
    // The number of saves still pending.
    void setPendingWork(std::function<int()> pendingWork) { pendingWork_ = std::move(pendingWork); }

    bool keeperRunning() const { return keeper_.has_value(); }

    // SessionProviding
    bool isLoggedIn() const override { return services_.auth->isLoggedIn(); }
    std::optional<std::string> email() const override { return services_.auth->email(); }
    std::optional<std::string> userID() const override { return services_.auth->userID(); }

    // AccountService
    void restore(Completion<void(bool)> completion) override;
    void signIn(const std::string& email, const std::string& password,
                Completion<void(Result<std::string, AccountError>)> completion) override;
    void signUp(const std::string& email, const std::string& password,
                Completion<void(Result<SignUpOutcome, AccountError>)> completion) override;
    void signOut(std::function<bool()> stopWork,
                 Completion<void(LogoutOutcome)> completion) override;
    void sendPasswordReset(const std::string& email,
                           Completion<void(VoidResult)> completion) override;
    bool adoptRecoverySession(std::string_view url) override;
    void updatePassword(const std::string& password,
                        Completion<void(VoidResult)> completion) override;

    // AccountEntry
    void restoreState(Completion<void(RestoreOutcome)> completion) override;
    void signUp(const std::string& email, const std::string& password, const std::string& username,
                Completion<void(Result<SignUpOutcome, AccountError>)> completion) override;
    void resendConfirmation(const std::string& email,
                            Completion<void(VoidResult)> completion) override;
    void signupUsername(Completion<void(std::optional<std::string>)> completion) override;

    // Recovery links.
    void inspectRecovery(const std::string& refreshToken,
                         Completion<void(Result<RecoveryCandidate, AuthFailure>)> completion);
    void discardRecovery(const RecoveryCandidate& candidate, Completion<void()> completion);
    // True when the candidate's account is signed in afterwards.
    void adoptRecovery(const RecoveryCandidate& candidate, std::function<bool()> stopWork,
                       Completion<void(bool)> completion);

  private:
    explicit AccountSession(Services services);
    void installHooks();

    struct RestoreFlight {
        std::vector<Completion<void(RestoreOutcome)>> waiters;
    };
    void runRestore(Completion<void(RestoreOutcome)> completion);
    void restoreAttempt(int attempt, Completion<void(RestoreOutcome)> completion);
    void startKeeper();
    void stopKeeper();
    void scheduleKeeperTick(std::uint64_t keeper);
    void drainPending(int before, double waited, Task then);
    // The sign-out; `byUser`: the user's own, told to onSignedOutOf.
    void endSession(std::function<bool()> stopWork, bool byUser,
                    Completion<void(LogoutOutcome)> completion);
    // Writes the candidate's token on the store's queue (`previous` gives the login it replaces),
    // then adopts it; a write that fails or is not answered by the store's deadline ends the
    // adoption as it is.
    void writeThenAdopt(RecoveryCandidate candidate,
                        UniqueFunction<std::optional<std::string>()> previous, int attempt,
                        Completion<void(bool)> completion);
    void adoptAttempt(RecoveryCandidate candidate, std::optional<std::string> previous, int attempt,
                      Completion<void(bool)> completion);
    void accept(const std::string& userID);

    // Runs `f` on the main executor with the value a completion received.
    template <class Arg, class F>
    Completion<void(Arg)> onMain(F f);

    Services services_;
    std::function<void()> onAuthChange_;
    std::function<void()> onSessionLost_;
    std::function<void()> onRefused_;
    std::function<void(const std::string&)> onAccepted_;
    std::function<void()> onSignedOut_;
    std::function<void(const std::string&)> onSignedOutOf_;
    std::function<void(const std::string&)> onLoginBack_;
    std::function<int()> pendingWork_ = [] {
        return 0;
    };

    // Main executor only.
    std::optional<std::uint64_t> keeper_;
    std::uint64_t nextKeeper_ = 0;
    std::shared_ptr<RestoreFlight> restoring_;
};

template <class Arg, class F>
Completion<void(Arg)> AccountSession::onMain(F f) {
    return [main = services_.main, f = std::move(f)](Arg value) mutable {
        main->post([f = std::move(f), value = std::move(value)]() mutable { f(std::move(value)); });
    };
}

}  // namespace parlendo
