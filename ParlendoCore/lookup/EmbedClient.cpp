#include "lookup/EmbedClient.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

namespace parlendo {

bool EmbedClient::isValid(std::string_view text) {
    return !text::trimWhitespaceAndNewlines(text).empty() && text::codePointCount(text) <= 300;
}

Json EmbedClient::params(const std::string& text, const std::optional<std::string>& appVersion) {
    return Json{{"text", text}, {"app_version", appVersion ? Json(*appVersion) : Json(nullptr)}};
}

EmbedClient::Outcome EmbedClient::parse(std::string_view data) {
    auto answer = json::parse(data);
    if (!answer || !answer->is_object()) {
        return fail(CallFailure::badShape());
    }
    if (answer->contains("error")) {
        return fail(CallFailure::unavailable());
    }
    if (json::string(*answer, "model") != model) {
        return fail(CallFailure::badShape());
    }
    const Json* embedding = json::array(*answer, "embedding");
    if (!embedding || embedding->size() != dimension) {
        return fail(CallFailure::badShape());
    }
    std::vector<double> vector;
    vector.reserve(dimension);
    for (const Json& element : *embedding) {
        if (!element.is_number()) {
            return fail(CallFailure::badShape());
        }
        vector.push_back(element.get<double>());
    }
    return vector;
}

void EmbedClient::embed(const std::shared_ptr<DetailedServerCalling>& client, bool enabled,
                        std::string text, std::optional<std::string> appVersion,
                        Completion<void(Outcome)> completion) {
    if (!enabled) {
        Log::write("embed", "프로필에서 꺼져 있음 — 호출 안 함");
        completion(fail(CallFailure::rejected(0)));
        return;
    }
    if (!isValid(text)) {
        completion(fail(CallFailure::rejected(400)));
        return;
    }
    client->callDetailed(std::string(path), "POST", params(text, appVersion), {}, timeout,
                         [completion = std::move(completion)](DetailedCallResult answer) mutable {
                             if (!answer) {
                                 const CallFailure& failure = answer.error().failure;
                                 Log::write("embed", "실패 " + failure.logReason());
                                 completion(fail(failure));
                                 return;
                             }
                             auto parsed = parse(*answer);
                             if (!parsed) {
                                 Log::write("embed", "응답 거부 " + parsed.error().logReason());
                             }
                             completion(std::move(parsed));
                         });
}

}  // namespace parlendo
