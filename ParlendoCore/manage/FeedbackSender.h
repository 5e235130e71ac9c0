#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Sends a signed-in user's short feedback message, with the app version, to the backend's
// "send-feedback" function, and answers the page with "sent" or one of six codes. The text never
// reaches the log; only its length and the outcome do. Never retries. Main executor; completes
// where the server client delivers.
class FeedbackSender {
  public:
    struct Code {
        static constexpr const char* textInvalid = "FEEDBACK_TEXT_INVALID";
        static constexpr const char* authClosed = "AUTH_ADMISSION_CLOSED";
        static constexpr const char* unavailable = "FEEDBACK_UNAVAILABLE";
        static constexpr const char* rateLimited = "FEEDBACK_RATE_LIMITED";
        static constexpr const char* network = "FEEDBACK_NETWORK";
        static constexpr const char* failed = "FEEDBACK_FAILED";
    };
    static constexpr size_t maxChars = 2000;  // Unicode scalars
    static constexpr double timeout = 15.0;
    static constexpr size_t maxAnswerBytes = 131072;
    static constexpr const char* path = "/functions/v1/send-feedback";

    FeedbackSender(std::shared_ptr<DetailedServerCalling> edge,
                   std::shared_ptr<SessionProviding> session, std::string appVersion);

    // Completes with the whole reply object: {"ok": true, "data": {"status": "sent"}} or
    // {"ok": false, "msg": code}.
    void send(const Json* payload, Completion<void(Json)> completion);

    // The code of an answer body; nothing when it says the message was sent.
    static std::optional<std::string> classify(std::string_view body);
    // The code of a failed call.
    static std::string classify(const CallFailureDetail& failure);

  private:
    static Json finish(const std::optional<std::string>& code, size_t chars);

    std::shared_ptr<DetailedServerCalling> edge_;
    std::shared_ptr<SessionProviding> session_;
    std::string appVersion_;
};

}  // namespace parlendo
