#pragma once

#include "auth/AccountTypes.h"
#include "auth/CurlAuthExchange.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Talks HTTP to the backend's auth service under /auth/v1: builds each request (path, method,
// the public key as "apikey", the bearer, the JSON body, the time-out), sends it through
// CurlAuthExchange (watchdog, gate report), and turns the answer into what the caller expects.
// Requests to the data API and edge functions never pass here.
//
// Completions: signIn, signUp, refresh and every account operation except revoke complete on the
// main executor; signOut and revoke on the curl session thread; an operation whose URL cannot be
// built completes at once on the calling thread. Any thread may call; `stageSignUp` and the
// sign-up that follows it belong on one thread (the account session uses the main executor).
class CurlAuthTransport final : public AuthTransport, public AccountEndpoints {
  public:
    static constexpr double requestTimeout = 15.0;
    static constexpr double logoutTimeout = 5.0;
    static constexpr const char* logoutPath = "/auth/v1/logout?scope=local";

    struct Services {
        std::string base;     // the project URL
        std::string anonKey;  // the public key
        std::shared_ptr<CurlSession> session;
        // None: failed answers are not reported to a gate.
        std::shared_ptr<ServerGate> gate;
        ExecutorPtr main;
        // Where watchdogs wait; the process's timer queue when none.
        ExecutorPtr watchdog;
        // Wall-clock dates of answers; the system clock when none.
        std::shared_ptr<const WallClock> clock;
        // The "X-Client-Info" value, sent only to the project host; this build's when none.
        std::optional<std::string> clientInfo;
    };

    explicit CurlAuthTransport(Services services);

    // AuthTransport
    void signIn(const std::string& email, const std::string& password,
                Completion<void(AuthSessionResult)> completion) override;
    void signUp(
        const std::string& email, const std::string& password,
        Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) override;
    void refresh(const std::string& refreshToken,
                 Completion<void(AuthSessionResult)> completion) override;
    void signOut(const std::string& accessToken, Completion<void(bool)> completion) override;

    // AccountEndpoints
    void recover(const std::string& email, const std::string& redirectTo,
                 Completion<void(VoidResult)> completion) override;
    void updatePassword(const std::string& password, const std::string& accessToken,
                        Completion<void(VoidResult)> completion) override;
    void stageSignUp(std::optional<std::string> username) override;
    void resendConfirmation(const std::string& email,
                            Completion<void(Result<void, AuthFailure>)> completion) override;
    void exchange(const std::string& refreshToken,
                  Completion<void(AuthSessionResult)> completion) override;
    void revoke(const std::string& accessToken, Completion<void()> completion) override;
    void signupUsername(const std::string& accessToken,
                        Completion<void(std::optional<std::string>)> completion) override;

    // A redirect address as the recovery query carries it: ASCII letters and digits as they are,
    // every other byte as %XX.
    static std::string encodeRedirect(std::string_view address);
    // The error of an account request that got an answer other than 2xx.
    static AccountError accountFailure(int status, std::string_view body);
    // The error of an account request without an answer.
    static AccountError networkFailure();

  private:
    struct Call {
        std::string method;
        std::string path;
        std::optional<std::string> bearer;  // the public key when none
        std::optional<Json> body;
        double timeout = requestTimeout;
    };
    using Classified = Result<Json, AuthFailure>;
    // Why a request could not be built: its URL, or its body (text that is not UTF-8).
    enum class Unbuilt { address, body };

    // The request of `call`.
    Result<AuthRequest, Unbuilt> build(const Call& call) const;
    // What an account operation answers for a request that could not be built.
    static AccountError unbuilt(Unbuilt why);
    // Sends a token request; the classified answer is handed to the main executor.
    void token(AuthRequest request, bool refreshSemantics, Completion<void(Classified)> completion);
    // Sends an account request; the mapped answer is handed to the main executor.
    void account(AuthRequest request, Completion<void(VoidResult)> completion);
    void sessionCall(Call call, bool refreshSemantics,
                     Completion<void(AuthSessionResult)> completion);
    static Json credentials(const std::string& email, const std::string& password);

    Services services_;
    CurlAuthExchange exchange_;
    std::mutex stagedMutex_;
    std::optional<std::string> stagedUsername_;
};

}  // namespace parlendo
