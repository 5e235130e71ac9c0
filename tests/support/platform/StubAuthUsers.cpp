#include "StubAuthUsers.h"

#include "foundation/Json.h"
#include "foundation/Url.h"

namespace parlendo::testing {

namespace {

StubAnswer answer(int status, const Json& body) {
    return StubAnswer::json(status, body.dump(), {{"Content-Type", "application/json"}});
}

StubAnswer refused(int status, const std::string& code) {
    return answer(status, Json{{"code", code}, {"msg", code}});
}

// The value of `key` in a query such as "id=eq.u1&limit=1" (still encoded).
std::optional<std::string> queryValue(const std::string& query, const std::string& key) {
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string piece = query.substr(start, end - start);
        if (piece.rfind(key + "=", 0) == 0) {
            return Url::percentDecode(piece.substr(key.size() + 1))
                .value_or(piece.substr(key.size() + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

void StubAuthUsers::serve(StubBackend& stub) {
    stub.respondWith([this](const StubRequest& request) { return handle(request); });
}

std::string StubAuthUsers::userJson(const User& user) {
    Json metadata = Json::object();
    if (user.metadataName) {
        metadata["username"] = *user.metadataName;
    }
    return Json{{"id", user.id},
                {"email", user.email},
                {"identities", Json::array({Json{{"provider", "email"}}})},
                {"user_metadata", metadata}}
        .dump();
}

std::string StubAuthUsers::session(const User& user) {
    const std::string n = std::to_string(++next_);
    const std::string access = "at-" + n;
    const std::string refresh = "rt-" + n;
    access_[access] = user.email;
    refresh_[refresh] = user.email;
    return Json{{"access_token", access},
                {"refresh_token", refresh},
                {"token_type", "bearer"},
                {"expires_in", 3600},
                {"user", Json::parse(userJson(user))}}
        .dump();
}

StubAuthUsers::User* StubAuthUsers::bearer(const StubRequest& request) {
    auto header = request.header("Authorization");
    if (!header || header->rfind("Bearer ", 0) != 0) {
        return nullptr;
    }
    auto found = access_.find(header->substr(7));
    if (found == access_.end()) {
        return nullptr;
    }
    auto user = users_.find(found->second);
    return user == users_.end() ? nullptr : &user->second;
}

std::optional<StubAnswer> StubAuthUsers::handle(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    const Json body = json::parse(request.body).value_or(Json::object());
    if (request.path == "/auth/v1/signup" && request.method == "POST") {
        return signUp(request.body);
    }
    if (request.path == "/auth/v1/token" && request.method == "POST") {
        return token(request.query, request.body);
    }
    if (request.path == "/auth/v1/logout") {
        if (auto header = request.header("Authorization"); header && header->size() > 7) {
            access_.erase(header->substr(7));
        }
        return StubAnswer::json(204, "");
    }
    if (request.path == "/auth/v1/user") {
        User* user = bearer(request);
        if (user == nullptr) {
            return refused(401, "bad_jwt");
        }
        if (request.method == "PUT") {
            if (auto password = json::string(body, "password")) {
                if (password->size() < 6) {
                    return refused(422, "weak_password");
                }
                user->password = *password;
            }
        }
        return StubAnswer::json(200, userJson(*user), {{"Content-Type", "application/json"}});
    }
    if (request.path == "/auth/v1/resend" && request.method == "POST") {
        auto email = json::string(body, "email").value_or("");
        auto user = users_.find(email);
        if (user != users_.end() && !user->second.confirmed) {
            mails_.push_back({"signup", email, ""});
        }
        return answer(200, Json::object());
    }
    if (request.path == "/auth/v1/recover" && request.method == "POST") {
        auto email = json::string(body, "email").value_or("");
        auto user = users_.find(email);
        if (user != users_.end()) {
            const Json fresh = Json::parse(session(user->second));
            mails_.push_back(
                {"recovery", email,
                 "parlendo://auth-callback#access_token=" +
                     fresh["access_token"].get<std::string>() +
                     "&expires_in=3600&refresh_token=" + fresh["refresh_token"].get<std::string>() +
                     "&token_type=bearer&type=recovery"});
        }
        return answer(200, Json::object());
    }
    if (request.path == "/rest/v1/profiles") {
        return profiles(request);
    }
    if (request.path == "/functions/v1/delete-account" && request.method == "POST") {
        return deleteAccount(request);
    }
    return std::nullopt;
}

std::optional<StubAnswer> StubAuthUsers::signUp(const std::string& text) {
    const Json body = json::parse(text).value_or(Json::object());
    auto email = json::string(body, "email");
    auto password = json::string(body, "password");
    if (!email || email->find('@') == std::string::npos) {
        return refused(400, "email_address_invalid");
    }
    if (!password || password->size() < 6) {
        return refused(422, "weak_password");
    }
    if (users_.count(*email)) {
        return refused(422, "user_already_exists");
    }
    User user;
    user.id = "user-" + std::to_string(++next_);
    user.email = *email;
    user.password = *password;
    if (const Json* data = json::object(body, "data")) {
        user.metadataName = json::string(*data, "username");
    }
    users_[*email] = user;
    mails_.push_back({"signup", *email, ""});
    return StubAnswer::json(200, userJson(user), {{"Content-Type", "application/json"}});
}

std::optional<StubAnswer> StubAuthUsers::token(const std::string& query, const std::string& text) {
    const Json body = json::parse(text).value_or(Json::object());
    const auto grant = queryValue(query, "grant_type");
    if (grant == std::optional<std::string>("password")) {
        auto user = users_.find(json::string(body, "email").value_or(""));
        if (user == users_.end() ||
            user->second.password != json::string(body, "password").value_or("")) {
            return refused(400, "invalid_credentials");
        }
        if (!user->second.confirmed) {
            return refused(400, "email_not_confirmed");
        }
        return StubAnswer::json(200, session(user->second), {{"Content-Type", "application/json"}});
    }
    if (grant == std::optional<std::string>("refresh_token")) {
        auto found = refresh_.find(json::string(body, "refresh_token").value_or(""));
        if (found == refresh_.end()) {
            return refused(400, "refresh_token_not_found");
        }
        auto user = users_.find(found->second);
        refresh_.erase(found);
        if (user == users_.end()) {
            return refused(400, "user_not_found");
        }
        return StubAnswer::json(200, session(user->second), {{"Content-Type", "application/json"}});
    }
    return refused(400, "unsupported_grant_type");
}

std::optional<StubAnswer> StubAuthUsers::profiles(const StubRequest& request) {
    User* user = bearer(request);
    if (user == nullptr) {
        return refused(401, "PGRST301");
    }
    if (request.method == "GET") {
        auto id = queryValue(request.query, "id");
        if (id != "eq." + user->id || !user->profileName) {
            return answer(200, Json::array());
        }
        return answer(200, Json::array({Json{{"id", user->id}, {"username", *user->profileName}}}));
    }
    if (request.method == "POST") {
        const Json body = json::parse(request.body).value_or(Json::object());
        auto name = json::string(body, "username");
        if (json::string(body, "id") != user->id || !name || name->empty()) {
            return refused(400, "23502");
        }
        for (const auto& [email, other] : users_) {
            if (other.profileName == name) {
                return refused(409, "23505");
            }
        }
        user->profileName = name;
        return answer(201, Json::array({Json{{"id", user->id}, {"username", *name}}}));
    }
    return std::nullopt;
}

std::optional<StubAnswer> StubAuthUsers::deleteAccount(const StubRequest& request) {
    User* user = bearer(request);
    if (user == nullptr) {
        return refused(401, "bad_jwt");
    }
    const Json body = json::parse(request.body).value_or(Json::object());
    if (json::string(body, "password") != user->password) {
        return answer(403, Json{{"error", "wrong_password"}});
    }
    const std::string email = user->email;
    users_.erase(email);
    for (auto* tokens : {&access_, &refresh_}) {
        for (auto it = tokens->begin(); it != tokens->end();) {
            it = it->second == email ? tokens->erase(it) : std::next(it);
        }
    }
    return answer(200, Json{{"status", "deleted"}});
}

std::optional<std::string> StubAuthUsers::confirm(const std::string& email) {
    std::lock_guard lock(mutex_);
    auto user = users_.find(email);
    if (user == users_.end()) {
        return std::nullopt;
    }
    user->second.confirmed = true;
    const Json fresh = Json::parse(session(user->second));
    return "parlendo://auth-callback#access_token=" + fresh["access_token"].get<std::string>() +
           "&expires_in=3600&refresh_token=" + fresh["refresh_token"].get<std::string>() +
           "&token_type=bearer&type=signup";
}

std::vector<StubAuthUsers::Mail> StubAuthUsers::mails() const {
    std::lock_guard lock(mutex_);
    return mails_;
}

bool StubAuthUsers::exists(const std::string& email) const {
    std::lock_guard lock(mutex_);
    return users_.count(email) > 0;
}

std::optional<std::string> StubAuthUsers::username(const std::string& email) const {
    std::lock_guard lock(mutex_);
    auto user = users_.find(email);
    return user == users_.end() ? std::nullopt : user->second.profileName;
}

}  // namespace parlendo::testing
