#pragma once

#include <optional>
#include <string>

namespace parlendo {

// The failure of an account action as the user interface shows it: a Korean message and a stable
// code in SCREAMING_SNAKE_CASE.
struct AccountError {
    static constexpr const char* defaultMessage = "요청을 처리하지 못했어요.";
    // The error's domain in failure log lines: Log::describe(domain, code).
    static constexpr const char* domain = "AccountError";

    std::string message;
    std::string code;

    // Without a message the code's own text is used, else the default message.
    AccountError(std::optional<std::string> message, std::string code);

    const std::string& description() const { return message; }
    bool operator==(const AccountError&) const = default;
};

}  // namespace parlendo
