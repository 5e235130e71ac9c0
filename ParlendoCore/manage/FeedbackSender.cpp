#include "manage/FeedbackSender.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "foundation/Text.h"

namespace parlendo {

FeedbackSender::FeedbackSender(std::shared_ptr<DetailedServerCalling> edge,
                               std::shared_ptr<SessionProviding> session, std::string appVersion)
    : edge_(std::move(edge)), session_(std::move(session)), appVersion_(std::move(appVersion)) {}

void FeedbackSender::send(const Json* payload, Completion<void(Json)> completion) {
    if (!payload || !payload->is_string()) {
        completion(finish(Code::textInvalid, 0));
        return;
    }
    const std::string& text = payload->get_ref<const std::string&>();
    const std::string trimmed = PyText::strip(text);
    const size_t sentChars = text::codePointCount(text);
    if (trimmed.empty() || sentChars > maxChars) {
        completion(finish(Code::textInvalid, sentChars));
        return;
    }
    const size_t chars = text::codePointCount(trimmed);
    if (!session_->isLoggedIn()) {
        completion(finish(Code::authClosed, chars));
        return;
    }
    edge_->callDetailed(
        path, "POST", Json{{"text", trimmed}, {"app_version", appVersion_}}, {}, timeout,
        [chars, completion = std::move(completion)](DetailedCallResult result) mutable {
            completion(finish(result ? classify(*result) : std::optional(classify(result.error())),
                              chars));
        });
}

std::optional<std::string> FeedbackSender::classify(std::string_view body) {
    if (body.size() > maxAnswerBytes) {
        return Code::network;
    }
    const std::optional<Json> answer = json::parse(body);
    if (!answer) {
        return Code::network;
    }
    if (json::string(*answer, "status") == "sent") {
        return std::nullopt;
    }
    return Code::failed;
}

std::string FeedbackSender::classify(const CallFailureDetail& failure) {
    if (failure.contractCode()) {
        return Code::failed;
    }
    if (failure.status) {
        switch (*failure.status) {
            case 400:
                return Code::textInvalid;
            case 401:
                return Code::authClosed;
            case 404:
                return Code::unavailable;
            case 429:
                return Code::rateLimited;
            default:
                return Code::failed;
        }
    }
    return std::visit(overloaded{
                          [](const CallFailure::AuthRequired&) { return Code::authClosed; },
                          [](const CallFailure::Timeout&) { return Code::network; },
                          [](const CallFailure::Unavailable&) { return Code::network; },
                          [](const CallFailure::BadShape&) { return Code::network; },
                          [](const CallFailure::Rejected&) { return Code::failed; },
                          [](const CallFailure::RejectedDetail&) { return Code::failed; },
                          [](const CallFailure::Stale&) { return Code::failed; },
                          [](const CallFailure::Quota&) { return Code::failed; },
                      },
                      failure.failure.value());
}

Json FeedbackSender::finish(const std::optional<std::string>& code, size_t chars) {
    Log::write("feedback", "chars=" + std::to_string(chars) + " status=" + code.value_or("sent"));
    if (code) {
        return {{"ok", false}, {"msg", *code}};
    }
    return {{"ok", true}, {"data", {{"status", "sent"}}}};
}

}  // namespace parlendo
