#include "lookup/TranslationClient.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

#include <cstdio>

namespace parlendo {

namespace {

std::string milliseconds(double seconds) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", seconds * 1000);
    return buffer;
}

}  // namespace

bool TranslationClient::validate(std::string_view text) {
    size_t count = text::codePointCount(text);
    return count >= 1 && count <= maxLength;
}

Json TranslationClient::params(const std::string& text,
                               const std::optional<std::string>& appVersion) {
    return Json{{"text", text}, {"app_version", appVersion ? Json(*appVersion) : Json(nullptr)}};
}

TranslationClient::Outcome TranslationClient::parse(std::string_view data,
                                                    const std::string& original) {
    auto answer = json::parse(data);
    if (!answer || !answer->is_object()) {
        return fail(CallFailure::badShape());
    }
    if (auto error = json::string(*answer, "error")) {
        return fail(*error == "quota_exceeded" ? CallFailure::quota() : CallFailure::unavailable());
    }
    auto translated = json::string(*answer, "translated_text");
    if (!translated || translated->empty() || json::string(*answer, "target") != "ko") {
        return fail(CallFailure::badShape());
    }
    return Result{original, std::move(*translated)};
}

void TranslationClient::translate(const std::shared_ptr<DetailedServerCalling>& client,
                                  std::string text, std::optional<std::string> appVersion,
                                  Completion<void(Outcome)> completion,
                                  std::shared_ptr<const MonotonicClock> clock) {
    if (!validate(text)) {
        completion(fail(CallFailure::rejected(400)));
        return;
    }
    const double start = clock->uptime();
    Json body = params(text, appVersion);
    client->callDetailed(
        std::string(path), "POST", std::move(body), {}, timeout,
        [clock = std::move(clock), start, text = std::move(text),
         completion = std::move(completion)](DetailedCallResult answer) mutable {
            const std::string elapsed = milliseconds(clock->uptime() - start);
            if (!answer) {
                const CallFailure& failure = answer.error().failure;
                Log::write("translate", "실패 " + failure.logReason() +
                                            " text=" + Log::redact(text) + " ms=" + elapsed);
                completion(fail(failure));
                return;
            }
            auto parsed = parse(*answer, text);
            if (parsed) {
                Log::write("translate", "ok text=" + Log::redact(text) + " ms=" + elapsed);
            } else {
                Log::write("translate", "응답 거부 " + parsed.error().logReason() +
                                            " text=" + Log::redact(text));
            }
            completion(std::move(parsed));
        });
}

}  // namespace parlendo
