#include "ScriptedBackend.h"

#include "DesktopSession.h"
#include "foundation/Json.h"

namespace parlendo::testing {

namespace {

const Json& dictionary() {
    static const Json words = {
        {"serendipity",
         {{"phonetic", "ˌsɛrənˈdɪpɪti"},
          {"senses", Json::array({Json{{"korean", "뜻밖의 행운"},
                                       {"definition", "the finding of good things by chance"},
                                       {"example", "It was pure serendipity that we met."},
                                       {"pos", "noun"}},
                                  Json{{"korean", "우연한 발견"},
                                       {"definition", "a happy discovery made by accident"},
                                       {"example", ""},
                                       {"pos", "noun"}}})}}},
        {"ephemeral",
         {{"phonetic", "ɪˈfɛm(ə)rəl"},
          {"senses", Json::array({Json{{"korean", "덧없는"},
                                       {"definition", "lasting for a very short time"},
                                       {"example", "Fame is ephemeral."},
                                       {"pos", "adjective"}}})}}}};
    return words;
}

StubAnswer json(int status, const Json& body) {
    return StubAnswer::json(status, body.dump(),
                            {{"Content-Type", "application/json; charset=utf-8"}});
}

StubAnswer lookup(const StubRequest& request) {
    const auto body = json::parse(request.body).value_or(Json::object());
    const std::string word = json::string(body, "p_lower").value_or("");
    const auto found = dictionary().find(word);
    if (found == dictionary().end()) {
        return json(200, Json{{"status", "not_found"}, {"word", word}});
    }
    return json(200, Json{{"status", "ok"},
                          {"word", word},
                          {"lemma", word},
                          {"phonetic", (*found)["phonetic"]},
                          {"senses", (*found)["senses"]}});
}

}  // namespace

ScriptedBackend::ScriptedBackend() {
    stub.respondWith([this](const StubRequest& request) { return answer(request); });
}

ScriptedBackend::~ScriptedBackend() {
    stub.respondWith(nullptr);
}

std::optional<StubAnswer> ScriptedBackend::answer(const StubRequest& request) {
    if (auto front = interposed(request)) {
        return front;
    }
    if (auto auth = users.handle(request)) {
        return auth;
    }
    if (request.path == "/rest/v1/rpc/dict_lookup") {
        return lookup(request);
    }
    if (request.path == "/rest/v1/rpc/save_word_snapshot_v1") {
        return saveWord(request);
    }
    if (request.path == "/functions/v1/translate-sentence") {
        return json(200, Json{{"translated_text", translation}, {"target", "ko"}});
    }
    if (auto answer = projects.handle(request)) {
        return answer;
    }
    if (request.path == "/rest/v1/title_vectors") {
        return json(200, Json::array());
    }
    if (auto response = library->handle(request.method, request.target, request.body)) {
        return StubAnswer::json(response->status, response->body,
                                {{"Content-Type", "application/json; charset=utf-8"}});
    }
    return std::nullopt;
}

std::optional<StubAnswer> ScriptedBackend::interposed(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    for (const auto& method : {request.method, std::string("*")}) {
        auto it = interposed_.find({method, request.path});
        if (it == interposed_.end()) {
            continue;
        }
        StubAnswer front = it->second.first;
        if (it->second.second > 0 && --it->second.second == 0) {
            interposed_.erase(it);
        }
        return front;
    }
    return std::nullopt;
}

StubAnswer ScriptedBackend::saveWord(const StubRequest& request) {
    const auto body = json::parse(request.body).value_or(Json::object());
    const auto source = json::string(body, "p_source_id");
    const auto lemma = json::string(body, "p_lemma");
    if (!source || !lemma || !library->row("sources", *source)) {
        return json(400, Json{{"code", "P0001"}, {"message", "source_not_found"}});
    }
    const std::string id =
        library->addWord(*lemma, *source, json::string(body, "p_korean").value_or(""),
                         json::string(body, "p_phonetic").value_or(""));
    int rank = 0;
    if (const Json* senses = json::array(body, "p_senses")) {
        for (const auto& sense : *senses) {
            library->addSense(id, rank++, json::string(sense, "korean").value_or(""),
                              json::string(sense, "definition").value_or(""));
        }
    }
    return json(200, Json{{"status", "ok"},
                          {"word_id", id},
                          {"snapshot_state", "inserted"},
                          {"created", true},
                          {"sense_count", rank}});
}

std::optional<StubAnswer> ScriptedBackend::postAuth(const std::string& path,
                                                    const std::string& query, const Json& body,
                                                    const std::string& bearer) {
    StubRequest request;
    request.method = "POST";
    request.path = path;
    request.query = query;
    request.target = path + (query.empty() ? "" : "?" + query);
    request.body = body.dump();
    if (!bearer.empty()) {
        request.headers.emplace_back("Authorization", "Bearer " + bearer);
    }
    return users.handle(request);
}

std::string ScriptedBackend::recoveryLink(const std::string& address) {
    if (!users.exists(address)) {
        postAuth("/auth/v1/signup", "", Json{{"email", address}, {"password", password}});
        users.confirm(address);
    }
    postAuth("/auth/v1/recover", "", Json{{"email", address}});
    const auto mails = users.mails();
    return mails.empty() || mails.back().kind != "recovery" ? "" : mails.back().link;
}

std::string ScriptedBackend::signedInRefreshToken() {
    auto session = [&] {
        const auto answer = postAuth("/auth/v1/token", "grant_type=password",
                                     Json{{"email", email}, {"password", password}});
        return answer ? json::parse(answer->body).value_or(Json::object()) : Json::object();
    };
    if (!users.exists(email)) {
        // An account of an earlier day: signed up, confirmed, its name chosen.
        postAuth("/auth/v1/signup", "", Json{{"email", email}, {"password", password}});
        users.confirm(email);
        const Json first = session();
        const auto user = json::object(first, "user");
        postAuth("/rest/v1/profiles", "",
                 Json{{"id", user ? json::string(*user, "id").value_or("") : ""},
                      {"username", username}},
                 json::string(first, "access_token").value_or(""));
    }
    return json::string(session(), "refresh_token").value_or("");
}

void ScriptedBackend::keepPopupCards(int seconds) {
    auto card = [&](const char* name, std::vector<std::string> contents, bool save, int position) {
        return Json{{"user_id", library->user()},
                    {"name", name},
                    {"enabled", true},
                    {"save", save},
                    {"position", position},
                    {"spec", {{"contents", contents}, {"options", {{"duration", seconds}}}}}};
    };
    const Json rows =
        Json::array({card("단어", {"phonetic", "korean", "definition"}, true, 0),
                     card("뜻만", {"korean"}, false, 1), card("문장", {"translation"}, true, 2)});
    library->handle("POST", "/rest/v1/assistants", rows.dump());
}

void ScriptedBackend::interpose(const std::string& method, const std::string& path,
                                StubAnswer answer, int times) {
    std::lock_guard lock(mutex_);
    interposed_[{method, path}] = {std::move(answer), times};
}

void ScriptedBackend::clear() {
    std::lock_guard lock(mutex_);
    interposed_.clear();
}

std::vector<StubRequest> ScriptedBackend::requests(const std::string& method,
                                                   const std::string& path) const {
    std::vector<StubRequest> out;
    for (auto& request : stub.requests()) {
        if ((method == "*" || request.method == method) && request.path == path) {
            out.push_back(std::move(request));
        }
    }
    return out;
}

bool ScriptedBackend::waitFor(const std::string& method, const std::string& path, size_t count,
                              double seconds) const {
    return DesktopSession::pumpUntil([&] { return requests(method, path).size() >= count; },
                                     seconds);
}

}  // namespace parlendo::testing
