#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "foundation/VariantAccess.h"
#include "server/CallFailure.h"

#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace parlendo {

// Whether the signed-in account has its username profile.
class ProfileState : public VariantAccess<ProfileState> {
  public:
    struct Ready {
        std::string username;
        bool operator==(const Ready&) const = default;
    };
    // No profile yet: `suggested` is a name to offer; `rejected` says the server refused it.
    struct NeedProfile {
        std::optional<std::string> suggested;
        bool rejected = false;
        bool operator==(const NeedProfile&) const = default;
    };
    using Value = std::variant<Ready, NeedProfile>;

    template <class Case, class = std::enable_if_t<std::is_constructible_v<Value, Case>>>
    ProfileState(Case value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    // {"username": name}, or {"need_profile": true, "suggested_username": name or null,
    // "username_rejected": bool}: what the manage page receives.
    Json bridgeData() const;

    const Value& value() const { return value_; }
    bool operator==(const ProfileState&) const = default;

  private:
    Value value_;
};

// The `profiles` row of the signed-in account. Completions may run on any thread.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;
    virtual void username(
        Completion<void(Result<std::optional<std::string>, CallFailure>)> completion) = 0;
    // Creates the row with this name unless one exists.
    virtual void ensure(const std::string& username,
                        Completion<void(Result<void, CallFailure>)> completion) = 0;
};

}  // namespace parlendo
