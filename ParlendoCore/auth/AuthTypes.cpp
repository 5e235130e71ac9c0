#include "auth/AuthTypes.h"

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

}  // namespace parlendo
