#pragma once

#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "server/ServerCalling.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The client of the backend's "embed-title" function: a window's title key to a vector of 768
// numbers of the model "gemini-embedding-001". The text never reaches the log. Stateless;
// callable from any thread.
struct EmbedClient {
    static constexpr std::string_view model = "gemini-embedding-001";
    static constexpr size_t dimension = 768;
    static constexpr std::string_view path = "/functions/v1/embed-title";
    static constexpr double timeout = 15.0;

    using Outcome = Result<std::vector<double>, CallFailure>;

    // Switched off: logs and completes at once with rejected(0). A text refused by `isValid`:
    // rejected(400) at once, silently. Otherwise the completion runs on the client's delivery
    // thread.
    static void embed(const std::shared_ptr<DetailedServerCalling>& client, bool enabled,
                      std::string text, std::optional<std::string> appVersion,
                      Completion<void(Outcome)> completion);

    // Not empty once trimmed, and at most 300 code points untrimmed.
    static bool isValid(std::string_view text);
    static Json params(const std::string& text, const std::optional<std::string>& appVersion);
    // Any "error" member: unavailable. Then the model must be exactly `model` and "embedding"
    // exactly `dimension` numbers, else badShape.
    static Outcome parse(std::string_view data);
};

}  // namespace parlendo
