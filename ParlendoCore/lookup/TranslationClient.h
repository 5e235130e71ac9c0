#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "server/ServerCalling.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The client of the backend's "translate-sentence" function: one captured English text to
// Korean. Checks the length, reads the answer strictly, writes one log line (tag "translate")
// per call that was sent, and never retries. Stateless; callable from any thread.
struct TranslationClient {
    static constexpr std::string_view path = "/functions/v1/translate-sentence";
    static constexpr size_t maxLength = 300;  // code points
    static constexpr double timeout = 8.0;

    struct Result {
        std::string original;  // the text as sent
        std::string korean;    // "translated_text" as the answer holds it
        bool operator==(const Result&) const = default;
    };
    using Outcome = parlendo::Result<Result, CallFailure>;

    // A text of 0 or more than 300 code points completes at once with rejected(400) and sends
    // nothing; otherwise the completion runs on the client's delivery thread.
    static void translate(const std::shared_ptr<DetailedServerCalling>& client, std::string text,
                          std::optional<std::string> appVersion,
                          Completion<void(Outcome)> completion,
                          std::shared_ptr<const MonotonicClock> clock = SystemClock::shared());

    static bool validate(std::string_view text);
    static Json params(const std::string& text, const std::optional<std::string>& appVersion);
    // "error": "quota_exceeded" is quota, any other string error unavailable; a non-empty
    // "translated_text" with "target": "ko" is the translation; anything else badShape.
    static Outcome parse(std::string_view data, const std::string& original);
};

}  // namespace parlendo
