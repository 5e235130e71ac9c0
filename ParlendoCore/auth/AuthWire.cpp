#include "auth/AuthWire.h"

#include "auth/AccountTypes.h"
#include "foundation/PyText.h"
#include "foundation/Regex.h"
#include "server/ServerContract.h"

namespace parlendo::AuthWire {
namespace {

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

const Regex& plainCode() {
    static const Regex pattern("^[a-z_]{1,40}$");
    return pattern;
}

}  // namespace

const std::set<std::string, std::less<>>& confirmedInvalidCodes() {
    static const std::set<std::string, std::less<>> codes{"invalid_grant",
                                                          "refresh_token_not_found",
                                                          "refresh_token_already_used",
                                                          "session_not_found",
                                                          "bad_jwt",
                                                          "user_not_found",
                                                          "user_banned"};
    return codes;
}

std::string legacyMessage(const Json& object) {
    for (const char* key : {"error_description", "msg", "message"}) {
        if (auto text = json::string(object, key)) {
            return PyText::lower(*text);
        }
    }
    return "";
}

std::string serverCode(const Json& object) {
    for (const char* key : {"error_code", "error"}) {
        if (auto text = json::string(object, key); text && plainCode().matches(*text)) {
            return *text;
        }
    }
    const std::string m = legacyMessage(object);
    if (contains(m, "invalid login credentials")) {
        return "invalid_credentials";
    }
    if (contains(m, "email not confirmed")) {
        return "email_not_confirmed";
    }
    if (contains(m, "already registered") || contains(m, "already exists")) {
        return "user_already_exists";
    }
    if (contains(m, "password") && (contains(m, "at least") || contains(m, "weak"))) {
        return "weak_password";
    }
    if (contains(m, "email") && contains(m, "invalid")) {
        return "email_address_invalid";
    }
    return "";
}

Result<Json, AuthFailure> classify(int status, std::optional<std::string_view> body,
                                   bool transportFailed, bool refreshSemantics, double now) {
    if (transportFailed) {
        return fail(AuthFailure::network());
    }
    Json object = Json::object();
    if (body) {
        if (auto parsed = json::parse(*body); parsed && parsed->is_object()) {
            object = std::move(*parsed);
        }
    }
    if (status >= 200 && status <= 299) {
        return object;
    }
    const std::string code = serverCode(object);
    if (status == 429) {
        if (code == "over_request_rate_limit") {
            return fail(AuthFailure::rejected(code));
        }
        return fail(AuthFailure::rateLimited());
    }
    if (status >= 500) {
        return fail(AuthFailure::server(status));
    }
    if (!refreshSemantics) {
        return fail(AuthFailure::rejected(code));
    }
    auto verdict = ServerContract::classify(status, object, {}, ServerContract::Scope::rest,
                                            std::nullopt, now);
    if (verdict.code) {
        return fail(AuthFailure::server(status));
    }
    if (status == 401 || status == 403 || confirmedInvalidCodes().count(code) ||
        contains(legacyMessage(object), "refresh token")) {
        return fail(AuthFailure::confirmedInvalid());
    }
    return fail(AuthFailure::badResponse());
}

Result<AuthSession, AuthFailure> parseSession(const Json& object, double now) {
    auto access = json::string(object, "access_token");
    auto refresh = json::string(object, "refresh_token");
    const Json* user = json::object(object, "user");
    auto id = user ? json::string(*user, "id") : std::nullopt;
    if (!access || access->empty() || !refresh || refresh->empty() || !id || id->empty()) {
        return fail(AuthFailure::badResponse());
    }
    double expiresIn = json::number(object, "expires_in").value_or(3600);
    return AuthSession{*access, *refresh, *id, json::string(*user, "email"), now + expiresIn};
}

Result<std::optional<AuthSession>, AuthFailure> signUpResult(const Json& object, double now) {
    if (object.is_object() && object.contains("access_token")) {
        auto session = parseSession(object, now);
        if (!session) {
            return fail(session.error());
        }
        return std::optional<AuthSession>(std::move(*session));
    }
    const Json* user = json::object(object, "user");
    const Json& taken = user ? *user : object;
    if (const Json* identities = json::array(taken, "identities");
        identities && identities->empty()) {
        return fail(AuthFailure::rejected("user_already_exists"));
    }
    return std::optional<AuthSession>();
}

std::optional<std::string> signupUsername(const Json& object) {
    const Json* metadata = json::object(object, "user_metadata");
    if (!metadata) {
        return std::nullopt;
    }
    auto name = json::string(*metadata, "username");
    if (!name) {
        return std::nullopt;
    }
    std::string trimmed = trimWhitespaceAndNewlines(*name);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return trimmed;
}

}  // namespace parlendo::AuthWire
