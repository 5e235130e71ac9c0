#pragma once

#include "auth/AccountError.h"
#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// How a restore of the stored login ended.
enum class RestoreOutcome { ready, needLogin, reauthRequired, offline };
// "authenticated", "need_login", "reauth_required", "offline_or_unavailable".
const char* toString(RestoreOutcome outcome);
std::optional<RestoreOutcome> restoreOutcomeFromString(std::string_view text);

// What a sign-up achieved: a session at once, or an account that waits for its mail link.
class SignUpOutcome {
  public:
    static SignUpOutcome signedIn(std::string userID) { return SignUpOutcome(std::move(userID)); }
    static SignUpOutcome needsEmailConfirmation() { return SignUpOutcome(std::nullopt); }

    bool isSignedIn() const { return userID_.has_value(); }
    // The signed-in user's id; none when the account needs mail confirmation.
    const std::optional<std::string>& userID() const { return userID_; }
    bool operator==(const SignUpOutcome&) const = default;

  private:
    explicit SignUpOutcome(std::optional<std::string> userID) : userID_(std::move(userID)) {}
    std::optional<std::string> userID_;
};

// The session of a password-recovery link, inspected but not yet adopted.
struct RecoveryCandidate {
    std::string userID;
    std::optional<std::string> email;
    // The e-mail of the account signed in now, when the link belongs to another account.
    std::optional<std::string> replacesEmail;
    bool replacesAccount = false;
    AuthSession session;
    bool operator==(const RecoveryCandidate&) const = default;
};

using VoidResult = Result<void, AccountError>;

// The auth endpoints beyond the token operations. Completions may run on any thread.
class AccountEndpoints {
  public:
    virtual ~AccountEndpoints() = default;
    // Asks the server to mail a recovery link.
    virtual void recover(const std::string& email, const std::string& redirectTo,
                         Completion<void(VoidResult)> completion) = 0;
    // Sets a new password for the session of the token.
    virtual void updatePassword(const std::string& password, const std::string& accessToken,
                                Completion<void(VoidResult)> completion) = 0;
    // Stages (or, with none, clears) the username the next sign-up carries. Called on the thread
    // that then signs up.
    virtual void stageSignUp(std::optional<std::string> username) = 0;
    virtual void resendConfirmation(const std::string& email,
                                    Completion<void(Result<void, AuthFailure>)> completion) = 0;
    // Turns a recovery link's refresh token into a session without making it current.
    virtual void exchange(const std::string& refreshToken,
                          Completion<void(AuthSessionResult)> completion) = 0;
    // Ends that session on the server.
    virtual void revoke(const std::string& accessToken, Completion<void()> completion) = 0;
    // The username stored in the account's metadata.
    virtual void signupUsername(const std::string& accessToken,
                                Completion<void(std::optional<std::string>)> completion) = 0;
};

// The account as the account feature module sees it. Called on the main executor; completions
// run there.
class AccountService : public SessionProviding {
  public:
    // True when the restore ends signed in.
    virtual void restore(Completion<void(bool)> completion) = 0;
    // Yields the user id.
    virtual void signIn(const std::string& email, const std::string& password,
                        Completion<void(Result<std::string, AccountError>)> completion) = 0;
    virtual void signUp(const std::string& email, const std::string& password,
                        Completion<void(Result<SignUpOutcome, AccountError>)> completion) = 0;
    virtual void signOut(std::function<bool()> stopWork,
                         Completion<void(LogoutOutcome)> completion) = 0;
    virtual void sendPasswordReset(const std::string& email,
                                   Completion<void(VoidResult)> completion) = 0;
    // True when the link is a password-recovery link; adopts nothing itself.
    virtual bool adoptRecoverySession(std::string_view url) = 0;
    virtual void updatePassword(const std::string& password,
                                Completion<void(VoidResult)> completion) = 0;
};

// The account as the session bridge calls and the profile onboarding see it.
class AccountEntry : public AccountService {
  public:
    using AccountService::signUp;
    virtual void restoreState(Completion<void(RestoreOutcome)> completion) = 0;
    virtual void signUp(const std::string& email, const std::string& password,
                        const std::string& username,
                        Completion<void(Result<SignUpOutcome, AccountError>)> completion) = 0;
    virtual void resendConfirmation(const std::string& email,
                                    Completion<void(VoidResult)> completion) = 0;
    virtual void signupUsername(Completion<void(std::optional<std::string>)> completion) = 0;
};

}  // namespace parlendo

namespace parlendo {

// `text` without white space at either end; line breaks count as white space.
std::string trimWhitespaceAndNewlines(std::string_view text);
// `text` without spaces and tabs (Unicode space separators) at either end; line breaks stay.
std::string trimWhitespace(std::string_view text);

}  // namespace parlendo
