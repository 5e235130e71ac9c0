#include "server/AuthTypes.h"

#include "foundation/Overloaded.h"
#include "foundation/Regex.h"

namespace parlendo {

const char* toString(AuthState state) {
    switch (state) {
        case AuthState::needLogin:
            return "need_login";
        case AuthState::ready:
            return "ready";
        case AuthState::loggedOut:
            return "logged_out";
    }
    return "need_login";
}

std::optional<AuthState> authStateFromString(std::string_view text) {
    if (text == "need_login") {
        return AuthState::needLogin;
    }
    if (text == "ready") {
        return AuthState::ready;
    }
    if (text == "logged_out") {
        return AuthState::loggedOut;
    }
    return std::nullopt;
}

std::string logReason(const AuthFailure& failure) {
    return std::visit(
        overloaded{
            [](const AuthFailure::Rejected& r) {
                static const Regex plain("^[a-z_]{1,40}$");
                return "rejected:" + (plain.matches(r.code) ? r.code : std::string("other"));
            },
            [](const AuthFailure::Server& s) { return "server_" + std::to_string(s.status); },
            [](const AuthFailure::Network&) { return std::string("network"); },
            [](const AuthFailure::ConfirmedInvalid&) { return std::string("confirmed_invalid"); },
            [](const AuthFailure::RateLimited&) { return std::string("rate_limited"); },
            [](const AuthFailure::BadResponse&) { return std::string("bad_response"); },
            [](const AuthFailure::Superseded&) { return std::string("superseded"); },
        },
        failure.value());
}

}  // namespace parlendo
