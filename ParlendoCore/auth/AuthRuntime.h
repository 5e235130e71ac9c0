#pragma once

#include "auth/AuthBackoff.h"
#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/KeychainCall.h"
#include "server/AuthTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace parlendo {

// The single owner of the signed-in state of the process: the session, the auth state, the
// account generation, the admission of new server work and the two counters of operations in
// flight. It signs in and up, restores the stored login, refreshes the tokens (one refresh at a
// time, every caller receiving the same result), backs off after server and rate-limit failures,
// and signs out after draining the awaited operations.
//
// Thread-safe: one recursive lock guards every field; completions run outside it, on the thread
// that delivered the transport's answer (sign-out: the store queue or, when the store did not
// answer in time, the main executor; or the thread that delivered the revocation's answer).
class AuthRuntime final : public AuthAccess,
                          public SessionProviding,
                          public std::enable_shared_from_this<AuthRuntime> {
  public:
    struct Services {
        std::shared_ptr<AuthTransport> transport;
        std::shared_ptr<SessionStore> store;
        // Wall time: when the access token expires. The system's clocks when none is given.
        std::shared_ptr<WallClock> wallClock;
        // Monotonic time: the backoff deadline and the sign-out's drain.
        std::shared_ptr<MonotonicClock> clock;
        // Where the callbacks of a session dropped by the service run, and where a sign-out stops
        // the caller's work and waits for the drain (timers, never a blocked thread).
        ExecutorPtr main;
        // Where a sign-out's blocking steps run when no store queue is given.
        ExecutorPtr background;
        // Where the store is written and cleared, one step at a time in the order asked: a
        // serial queue off the main thread, since a keychain answers in tens of milliseconds, a
        // busy one much later and a silent one not at all. None: written on the calling thread,
        // cleared at sign-out on the background executor.
        ExecutorPtr storeQueue = nullptr;
        // How long a sign-out (or another flow through `storeCall`) waits for the store before
        // it goes on without its answer (the step still runs when the store answers).
        double storeDeadline = KeychainCall::defaultDeadline;
    };

    using ContextResult = Result<AuthContext, AuthFailure>;
    using SignUpResult = Result<std::optional<AuthContext>, AuthFailure>;

    static std::shared_ptr<AuthRuntime> make(Services services);

    // Callers still waiting for a refresh when the runtime goes are not answered.
    ~AuthRuntime();
    AuthRuntime(const AuthRuntime&) = delete;
    AuthRuntime& operator=(const AuthRuntime&) = delete;

    // AuthAccess
    std::optional<AuthContext> context() const override;
    bool isCurrent(const std::optional<AuthContext>& context) const override;
    bool beginOperation(const AuthContext& context, bool awaited) override;
    void endOperation(bool awaited) override;
    std::optional<std::string> accessToken(const AuthContext& context) const override;
    void recover(Completion<void(AuthSessionResult)> completion) override;

    // SessionProviding
    bool isLoggedIn() const override;
    std::optional<std::string> email() const override;
    std::optional<std::string> userID() const override;

    AuthState state() const;
    std::int64_t generation() const;
    std::int64_t inFlightOperations() const;
    std::int64_t backgroundInFlight() const;
    bool sessionNotStored() const;
    std::optional<double> backoffRemaining() const;

    void restore(Completion<void(ContextResult)> completion);
    void signIn(const std::string& email, const std::string& password,
                Completion<void(ContextResult)> completion);
    void signUp(const std::string& email, const std::string& password,
                Completion<void(SignUpResult)> completion);
    // Refreshes when the access token expires within `margin` seconds (reason "keeper"); else the
    // completion receives `network`.
    void refreshIfNeeded(double margin, Completion<void(AuthSessionResult)> completion = nullptr);

    // Signs out: closes admission at once; then, on the main executor, stops the caller's work
    // and waits until no awaited operation or refresh is in flight (looking again every 0.05 s,
    // for at most `drainTimeout`), drops the session and bumps the generation; then clears the
    // store on its queue (waiting for it at most `storeDeadline`) and revokes the token remotely.
    // The runtime keeps itself alive until the completion has been called.
    void signOut(std::function<bool()> stopWork, double drainTimeout,
                 Completion<void(LogoutOutcome)> completion);
    // The same with a 5-second drain.
    void signOut(std::function<bool()> stopWork, Completion<void(LogoutOutcome)> completion);

    // How the store is asked by a flow that waits for its answer: on the store queue (the
    // background executor when none), the answer given up on after `storeDeadline` seconds on
    // the main executor. The store's other steps are asked on the same queue, so they keep their
    // order with these.
    KeychainCall storeCall() const;

    void beginRestoreBurst();
    void endRestoreBurst();

    void setOnStateChange(std::function<void(AuthState)> callback);
    void setOnLoggedOut(std::function<void()> callback);
    // Told, with the account, each time a refresh renewed the tokens of the session held; on the
    // thread that delivered the refresh's answer, outside the lock.
    void setOnRefreshed(std::function<void(const std::string& userID)> callback);
    void setRetryAfterHint(std::function<std::optional<double>()> hint);
    void setBackoffRandom(std::function<double()> random);

  private:
    explicit AuthRuntime(Services services);

    void refreshNow(const std::string& refreshToken, const std::string& reason,
                    Completion<void(AuthSessionResult)> completion);
    void handleRefresh(const AuthSessionResult& result, std::int64_t startGeneration,
                       const std::string& reason);
    std::optional<AuthContext> adopt(const AuthSession& session, const std::string& reason,
                                     std::optional<std::int64_t> onlyIfGeneration);
    void noteStored(bool stored, const char* where);
    // Saves or clears the stored token on the store queue; the result is noted there.
    void keep(const std::string& refreshToken, const char* where);
    void forget();
    void onStoreQueue(Task task);
    bool isCurrentLocked(const std::optional<AuthContext>& context) const;
    void drain(double deadline, Task then);
    void finishSignOut(LogoutOutcome outcome, std::optional<std::string> access,
                       Completion<void(LogoutOutcome)> completion);
    void endSignOut(LogoutOutcome outcome, std::optional<std::string> access,
                    Completion<void(LogoutOutcome)> completion);
    double uptime() const { return services_.clock->uptime(); }

    Services services_;

    mutable std::recursive_mutex mutex_;
    AuthState state_ = AuthState::needLogin;
    std::int64_t generation_ = 0;
    std::optional<AuthSession> session_;
    bool admission_ = false;
    std::int64_t operations_ = 0;
    std::int64_t backgroundOperations_ = 0;
    bool refreshInflight_ = false;
    std::vector<Completion<void(AuthSessionResult)>> refreshWaiters_;
    std::optional<double> lastRefreshAttempt_;
    bool signingOut_ = false;
    AuthBackoff backoff_;
    std::function<double()> backoffRandom_;
    std::function<std::optional<double>()> retryAfterHint_;
    bool storeFailed_ = false;
    std::function<void(AuthState)> onStateChange_;
    std::function<void()> onLoggedOut_;
    std::function<void(const std::string&)> onRefreshed_;
    std::mt19937_64 randomEngine_;
};

}  // namespace parlendo
