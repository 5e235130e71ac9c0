#pragma once

#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "foundation/VariantAccess.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace parlendo {

// The stored session. `expiresAt` is wall-clock seconds since the epoch.
struct AuthSession {
    std::string accessToken;
    std::string refreshToken;
    std::string userID;
    std::optional<std::string> email;
    double expiresAt = 0;
    bool operator==(const AuthSession&) const = default;
};

// The (user id, generation) pair captured by every server operation when it starts.
struct AuthContext {
    std::string userID;
    std::int64_t generation = 0;
    bool operator==(const AuthContext&) const = default;
};

enum class AuthState { needLogin, ready, loggedOut };
const char* toString(AuthState state);
std::optional<AuthState> authStateFromString(std::string_view text);

// The ways a token operation fails.
class AuthFailure : public VariantAccess<AuthFailure> {
  public:
    struct Rejected {
        std::string code;
        bool operator==(const Rejected&) const = default;
    };
    struct Server {
        int status = 0;
        bool operator==(const Server&) const = default;
    };
    struct Network {
        bool operator==(const Network&) const = default;
    };
    struct ConfirmedInvalid {
        bool operator==(const ConfirmedInvalid&) const = default;
    };
    struct RateLimited {
        bool operator==(const RateLimited&) const = default;
    };
    struct BadResponse {
        bool operator==(const BadResponse&) const = default;
    };
    struct Superseded {
        bool operator==(const Superseded&) const = default;
    };
    using Value = std::variant<Rejected, Server, Network, ConfirmedInvalid, RateLimited,
                               BadResponse, Superseded>;

    AuthFailure(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static AuthFailure rejected(std::string code) {
        return AuthFailure(Value{Rejected{std::move(code)}});
    }
    static AuthFailure server(int status) { return AuthFailure(Value{Server{status}}); }
    static AuthFailure network() { return AuthFailure(Value{Network{}}); }
    static AuthFailure confirmedInvalid() { return AuthFailure(Value{ConfirmedInvalid{}}); }
    static AuthFailure rateLimited() { return AuthFailure(Value{RateLimited{}}); }
    static AuthFailure badResponse() { return AuthFailure(Value{BadResponse{}}); }
    static AuthFailure superseded() { return AuthFailure(Value{Superseded{}}); }

    const Value& value() const { return value_; }
    bool operator==(const AuthFailure&) const = default;

  private:
    Value value_;
};

// The short log text of a failure: "rejected:<code>" (or "rejected:other" for a code outside
// ^[a-z_]{1,40}$), "server_<status>", "network", "confirmed_invalid", "rate_limited",
// "bad_response", "superseded".
std::string logReason(const AuthFailure& failure);

struct LogoutOutcome {
    bool workStopped = false;
    bool operationsDrained = false;
    bool storeCleared = false;
    std::optional<bool> remoteRevoked;
    std::int64_t accountGeneration = 0;
    bool operator==(const LogoutOutcome&) const = default;
};

using AuthSessionResult = Result<AuthSession, AuthFailure>;

// The auth service's token endpoints. Each completion is called exactly once, on any thread.
class AuthTransport {
  public:
    virtual ~AuthTransport() = default;
    virtual void signIn(const std::string& email, const std::string& password,
                        Completion<void(AuthSessionResult)> completion) = 0;
    // No session: the account must first be confirmed by mail.
    virtual void signUp(
        const std::string& email, const std::string& password,
        Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) = 0;
    // Fails with confirmedInvalid only when the service definitely rejected the token.
    virtual void refresh(const std::string& refreshToken,
                         Completion<void(AuthSessionResult)> completion) = 0;
    // Completes with whether the service revoked the token.
    virtual void signOut(const std::string& accessToken, Completion<void(bool)> completion) = 0;
};

// Persistence of the refresh token. Called from any thread.
class SessionStore {
  public:
    virtual ~SessionStore() = default;
    virtual std::optional<std::string> loadRefreshToken() = 0;
    virtual bool save(const std::string& refreshToken) = 0;
    // True when nothing is stored afterwards.
    virtual bool clear() = 0;
};

// Who is signed in, for stores that act for the current user. Called from any thread.
class SessionProviding {
  public:
    virtual ~SessionProviding() = default;
    virtual bool isLoggedIn() const = 0;
    virtual std::optional<std::string> email() const = 0;
    virtual std::optional<std::string> userID() const = 0;
};

// What the server client needs of the auth runtime: the context to capture, whether it is still
// current, the counting of operations, the access token, and one recovery after a 401.
// Called from any thread.
class AuthAccess {
  public:
    virtual ~AuthAccess() = default;
    virtual std::optional<AuthContext> context() const = 0;
    virtual bool isCurrent(const std::optional<AuthContext>& context) const = 0;
    // False when the context is no longer current: the caller must not send its request.
    virtual bool beginOperation(const AuthContext& context, bool awaited) = 0;
    virtual void endOperation(bool awaited) = 0;
    virtual std::optional<std::string> accessToken(const AuthContext& context) const = 0;
    virtual void recover(Completion<void(AuthSessionResult)> completion) = 0;
};

}  // namespace parlendo
