#pragma once

#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// The failure of a project or document operation: a lower snake_case reason code and, for some
// codes, a scope. What the manage page receives is its `payload`.
struct DriveFailure {
    std::string code;
    std::optional<std::string> scope;

    DriveFailure(std::string code_, std::optional<std::string> scope_ = std::nullopt)
        : code(std::move(code_)), scope(std::move(scope_)) {}
    bool operator==(const DriveFailure&) const = default;

    // {"error": code}, with "scope" when there is one.
    Json payload() const;

    // The server's own reason codes that pass through when a database function raises them.
    static const std::set<std::string, std::less<>>& rpcCodes();

    // The reason code of a failed server call; `forbidden` stands for a permission refusal.
    static std::string codeFor(const CallFailure& failure, std::string_view forbidden);
};

// What a project operation fails with: its own refusal, or the failure of a server call.
using DriveError = std::variant<DriveFailure, CallFailure>;

template <class T>
using DriveResult = Result<T, DriveError>;

namespace DriveErrors {

// The failure to report for an error; nullopt for a stale call (the account changed meanwhile),
// which is dropped without a message.
std::optional<DriveFailure> from(const DriveError& error, std::string_view forbidden);

// Whether the error is the stale call failure.
bool isStale(const DriveError& error);

}  // namespace DriveErrors
}  // namespace parlendo
