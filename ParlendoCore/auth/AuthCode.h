#pragma once

#include "auth/AccountError.h"
#include "server/AuthTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The user-interface codes of sign-in, sign-up, mail and account actions with their Korean
// messages, and the mappings from a token failure to the error the user sees.
namespace AuthCode {

inline constexpr const char* loginFailed = "AUTH_LOGIN_FAILED";
inline constexpr const char* emailNotConfirmed = "AUTH_EMAIL_NOT_CONFIRMED";
inline constexpr const char* networkUnavailable = "AUTH_NETWORK_UNAVAILABLE";
inline constexpr const char* reauthRequired = "AUTH_REAUTH_REQUIRED";
inline constexpr const char* signupWeakPassword = "AUTH_SIGNUP_WEAK_PASSWORD";
inline constexpr const char* signupEmailExists = "AUTH_SIGNUP_EMAIL_EXISTS";
inline constexpr const char* signupEmailInvalid = "AUTH_SIGNUP_EMAIL_INVALID";
inline constexpr const char* signupFailed = "AUTH_SIGNUP_FAILED";
inline constexpr const char* emailRateLimit = "AUTH_EMAIL_RATE_LIMIT";
inline constexpr const char* requestRateLimit = "AUTH_REQUEST_RATE_LIMIT";
inline constexpr const char* resendFailed = "AUTH_RESEND_FAILED";
inline constexpr const char* deleteWrongPassword = "ACCOUNT_DELETE_WRONG_PASSWORD";
inline constexpr const char* deleteRateLimited = "ACCOUNT_DELETE_RATE_LIMITED";
inline constexpr const char* deleteNoResponse = "ACCOUNT_DELETE_NO_RESPONSE";
inline constexpr const char* deleteFailed = "ACCOUNT_DELETE_FAILED";
inline constexpr const char* passwordChangeInterrupted = "AUTH_PASSWORD_CHANGE_INTERRUPTED";
inline constexpr const char* cleanupNotOffered = "ACCOUNT_CLEANUP_NOT_OFFERED";
inline constexpr const char* resetCredentialsUnconfirmed = "AUTH_RESET_CREDENTIALS_UNCONFIRMED";
// An answer that came after the signed-in account changed; the page gets the stale envelope.
inline constexpr const char* staleCompletion = "AUTH_STALE_COMPLETION";

// The message of a code; none for unknown codes and for the codes without a message.
std::optional<std::string> text(std::string_view code);

// The error shown after a failed sign-in.
AccountError signIn(const AuthFailure& failure);

// The error of a mail-sending or sign-up action; `fallback` is the action's own failure code.
AccountError mail(const AuthFailure& failure, const std::string& fallback);

}  // namespace AuthCode
}  // namespace parlendo
