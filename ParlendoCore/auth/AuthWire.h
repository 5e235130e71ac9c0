#pragma once

#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace parlendo {

// Reads the answers of the auth service: classifies one answer (status and body) into its JSON
// object or an AuthFailure, and builds sessions and sign-up results from the object.
// Pure functions; callable from any thread.
namespace AuthWire {

// The service error codes that prove a refresh token dead.
const std::set<std::string, std::less<>>& confirmedInvalidCodes();

// `transportFailed`: no HTTP answer arrived. `refreshSemantics`: the answer is to a token
// refresh, where a refusal must be told apart from a passing fault. `now`: wall-clock seconds.
Result<Json, AuthFailure> classify(int status, std::optional<std::string_view> body,
                                   bool transportFailed, bool refreshSemantics, double now);

// `now` is the time of receipt; the session expires "expires_in" seconds (default 3600) later.
Result<AuthSession, AuthFailure> parseSession(const Json& object, double now);
Result<std::optional<AuthSession>, AuthFailure> signUpResult(const Json& object, double now);
// The trimmed user name of the user's metadata; none when missing or empty.
std::optional<std::string> signupUsername(const Json& object);
// The service's error code, possibly empty.
std::string serverCode(const Json& object);
// The lower-cased human error message, possibly empty.
std::string legacyMessage(const Json& object);

}  // namespace AuthWire
}  // namespace parlendo
