#pragma once

#include "foundation/Completion.h"
#include "foundation/Function.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "foundation/VariantAccess.h"
#include "server/CallFailure.h"

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace parlendo {

// The arguments of one manage-page call, exactly as the page passed them. The readers take a
// zero-based position and never fail.
struct BridgeArgs {
    std::vector<Json> raw;

    BridgeArgs() = default;
    explicit BridgeArgs(std::vector<Json> values) : raw(std::move(values)) {}
    // The elements of a JSON array; anything else gives no arguments.
    static BridgeArgs fromJson(const Json& array);

    // The argument when it is a string, else "".
    std::string string(size_t index) const;
    std::optional<std::string> optionalString(size_t index) const;
    // The argument when it is an array of strings only, else an empty list.
    std::vector<std::string> strings(size_t index) const;
    // The argument itself; null pointer past the end.
    const Json* any(size_t index) const;
};

// The typed answer of a call handler.
class BridgeReply : public VariantAccess<BridgeReply> {
  public:
    struct Ok {
        Json value;
        bool operator==(const Ok&) const = default;
    };
    struct Failed {
        CallFailure failure;
        bool operator==(const Failed&) const = default;
    };
    // An error code for the page's own sign-in screen, shown by the page.
    struct AuthScreenFailed {
        std::string message;
        bool operator==(const AuthScreenFailed&) const = default;
    };
    // The request was not served; the reason goes to the log only.
    struct RequestFailed {
        std::string reason;
        bool operator==(const RequestFailed&) const = default;
    };
    // The whole reply object, built by the handler.
    struct Custom {
        Json value;
        bool operator==(const Custom&) const = default;
    };
    using Value = std::variant<Ok, Failed, AuthScreenFailed, RequestFailed, Custom>;

    template <class Case, class = std::enable_if_t<std::is_constructible_v<Value, Case>>>
    BridgeReply(Case value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static BridgeReply ok(Json value) { return Ok{std::move(value)}; }
    static BridgeReply failed(CallFailure failure) { return Failed{std::move(failure)}; }
    static BridgeReply authScreenFailed(std::string message) {
        return AuthScreenFailed{std::move(message)};
    }
    static BridgeReply requestFailed(std::string reason) {
        return RequestFailed{std::move(reason)};
    }
    static BridgeReply custom(Json value) { return Custom{std::move(value)}; }

    using ReadBody = UniqueFunction<void(Completion<void(Result<Json, CallFailure>)>)>;
    // Runs `body`: its value becomes `ok`, its failure `failed`.
    static void reading(ReadBody body, Completion<void(BridgeReply)> completion);

    const Value& value() const { return value_; }
    bool operator==(const BridgeReply&) const = default;

  private:
    Value value_;
};

// A call handler: runs on the main executor and completes there with the reply.
using BridgeHandler = std::function<void(const BridgeArgs&, Completion<void(BridgeReply)>)>;

// One call of a route group: served by a handler, or not served on this platform or in this
// configuration.
class BridgeEntry {
  public:
    static BridgeEntry implemented(BridgeHandler handler) {
        return BridgeEntry(std::move(handler));
    }
    static BridgeEntry notYet() { return BridgeEntry(nullptr); }

    bool isImplemented() const { return static_cast<bool>(handler_); }
    // Empty for a `notYet` entry.
    const BridgeHandler& handler() const { return handler_; }

  private:
    explicit BridgeEntry(BridgeHandler handler) : handler_(std::move(handler)) {}
    BridgeHandler handler_;
};

enum class BridgeStatus { implemented, notYet };
const char* toString(BridgeStatus status);

// How the router logs a call: `selfLogged` writes no line for a success (the group logs it),
// `onChange` writes a success only when its reply differs from the last one logged.
enum class BridgeLogMode { selfLogged, onChange };
const char* toString(BridgeLogMode mode);

}  // namespace parlendo
