#pragma once

#include "foundation/VariantAccess.h"

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace parlendo {

// What a "parlendo://auth-callback" link from a confirmation or recovery mail means.
class AuthCallback : public VariantAccess<AuthCallback> {
  public:
    struct Recovery {
        std::string refreshToken;  // never empty
        bool operator==(const Recovery&) const = default;
    };
    struct EmailConfirmed {
        bool operator==(const EmailConfirmed&) const = default;
    };
    struct Failed {
        bool operator==(const Failed&) const = default;
    };
    struct Ignored {
        bool operator==(const Ignored&) const = default;
    };
    using Value = std::variant<Recovery, EmailConfirmed, Failed, Ignored>;

    template <class Case, class = std::enable_if_t<std::is_constructible_v<Value, Case>>>
    AuthCallback(Case value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    // Every URL yields one of the four cases.
    static AuthCallback parse(std::string_view url);

    // "recovery", "email_confirmed", "failed" or "ignored", for log lines.
    std::string kind() const;

    const Value& value() const { return value_; }
    bool operator==(const AuthCallback&) const = default;

  private:
    Value value_;
};

}  // namespace parlendo
