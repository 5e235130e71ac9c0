#include "account/AccountDeleteClient.h"

#include "foundation/Json.h"
#include "foundation/Log.h"
#include "server/ServerClient.h"
#include "server/ServerContract.h"

namespace parlendo {

namespace {

// The string member "error" of a body object.
bool hasErrorText(const Json& body) {
    return json::string(body, "error").has_value();
}

// The contract verdict of an answer on the delete path; none when the path has no scope.
std::optional<ServerContract::Verdict> verdictOf(const ServerResponse::Http& http, double now) {
    const auto endpoint = ServerContract::endpoint(AccountDeleteClient::path);
    if (!endpoint.scope) {
        return std::nullopt;
    }
    return ServerContract::classify(http.status, ServerContract::parseBody(http.body), http.headers,
                                    *endpoint.scope, endpoint.feature, now);
}

}  // namespace

AccountDeleteClient::AccountDeleteClient(Services services) : services_(std::move(services)) {
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
}

DeleteAnswer AccountDeleteClient::answer(const ServerResponse& response) {
    const auto* http = response.as<ServerResponse::Http>();
    if (http == nullptr) {
        return DeleteAnswer::network;
    }
    const auto parsed = json::parse(http->body);
    const bool isObject = parsed && parsed->is_object();
    const Json body = isObject ? *parsed : Json::object();
    if (http->status == 200) {
        if (json::string(body, "status") == std::optional<std::string>("deleted")) {
            return DeleteAnswer::deleted;
        }
        return isObject ? DeleteAnswer::failed : DeleteAnswer::network;
    }
    if (auto verdict = verdictOf(*http, 0); verdict && verdict->code) {
        return DeleteAnswer::failed;
    }
    if (http->status == 429) {
        return DeleteAnswer::rateLimited;
    }
    if (http->status == 403) {
        return json::string(body, "error") == std::optional<std::string>("wrong_password")
                   ? DeleteAnswer::wrongPassword
                   : DeleteAnswer::failed;
    }
    if (http->status == 401) {
        return DeleteAnswer::unauthorized;
    }
    if (http->status < 500) {
        return DeleteAnswer::failed;
    }
    return hasErrorText(body) ? DeleteAnswer::failed : DeleteAnswer::network;
}

void AccountDeleteClient::request(const std::string& password,
                                  Completion<void(DeleteAnswer)> completion) {
    if (services_.gate && services_.gate->replay(path)) {
        Log::write("server_gate", "replay path=account");
        completion(DeleteAnswer::failed);
        return;
    }
    auto& auth = *services_.auth;
    const auto context = auth.context();
    if (!context || !auth.beginOperation(*context, true)) {
        completion(DeleteAnswer::unauthorized);
        return;
    }
    const auto token = auth.accessToken(*context);
    if (!token) {
        auth.endOperation(true);
        completion(DeleteAnswer::unauthorized);
        return;
    }
    const auto body =
        json::dump(Json{{"password", password}, {"app_version", services_.appVersion}});
    if (!body) {
        // A password that is not valid text never leaves as an empty request.
        auth.endOperation(true);
        Log::write("account", "delete request not sent — 요청 본문을 만들 수 없음");
        completion(DeleteAnswer::failed);
        return;
    }
    ServerRequest request;
    request.path = path;
    request.method = "POST";
    request.body = *body;
    request.headers = ServerClient::withRegion(path, {});
    request.headers["apikey"] = services_.apiKey;
    request.headers["Authorization"] = "Bearer " + *token;
    request.headers["Content-Type"] = "application/json";
    request.timeout = timeout;
    services_.transport->send(
        std::move(request), [auth = services_.auth, gate = services_.gate, clock = services_.clock,
                             completion = std::move(completion)](ServerResponse response) mutable {
            if (const auto* http = response.as<ServerResponse::Http>(); http && gate) {
                if (auto verdict = verdictOf(*http, clock->now())) {
                    std::optional<CallFailureDetail> replay;
                    if (verdict->code) {
                        replay = ServerGate::replayFailure(*verdict, http->status);
                    }
                    gate->observe(*verdict, std::nullopt, http->status, replay, "edge");
                }
            }
            const DeleteAnswer result = answer(response);
            auth->endOperation(true);
            completion(result);
        });
}

}  // namespace parlendo
