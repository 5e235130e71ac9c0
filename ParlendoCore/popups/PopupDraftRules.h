#pragma once

#include "foundation/Json.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace parlendo {

// The pure side of drafting a custom popup with the generative-language API: the model and
// endpoint, the declaration of the one function the model must call, the request body, reading
// the function call out of an answer, and turning the call's arguments into the proposal the
// manage page shows. Content ids, labels and option limits come from the word book's tables, so
// the model is offered exactly what popup settings accept.
namespace PopupDraftRules {

inline constexpr const char* model = "gemini-3.1-flash-lite";
inline constexpr const char* functionName = "create_custom_popup";
inline constexpr double timeout = 30;           // seconds
inline constexpr size_t descriptionMax = 2000;  // characters
// The API's address; the service may be pointed elsewhere (tests).
inline constexpr const char* defaultBase = "https://generativelanguage.googleapis.com";

// `base` + "/v1beta/models/<model>:generateContent".
std::string endpoint(std::string_view base = defaultBase);

// The "id" of every content type that has a string id, in table order.
const std::vector<std::string>& contentIDs();

// What an answer holds.
class Call {
  public:
    // Exactly one call of the function; its "args" (none when the call has none).
    struct Found {
        std::optional<Json> args;
        bool operator==(const Found&) const = default;
    };
    struct NoCall {
        bool operator==(const NoCall&) const = default;
    };
    struct Malformed {
        bool operator==(const Malformed&) const = default;
    };
    using Value = std::variant<Found, NoCall, Malformed>;

    Call(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static Call found(std::optional<Json> args) { return Call(Value{Found{std::move(args)}}); }
    static Call noCall() { return Call(Value{NoCall{}}); }
    static Call malformed() { return Call(Value{Malformed{}}); }

    const Value& value() const { return value_; }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&value_);
    }
    bool operator==(const Call&) const = default;

  private:
    Value value_;
};

Json functionDeclaration();

// The whole request for one (already trimmed) description.
Json requestBody(const std::string& description);

// Reads the function call out of an answer body.
Call functionCall(std::string_view body);

// The proposal for a call's arguments (nullptr: none), or none when they are not acceptable:
// {"ok", "reason", "name", "needs_name", "contents", "options", "proposed_save",
//  "needs_save_confirm", "warnings", "dropped_contents"}.
std::optional<Json> validate(const Json* args);

// A number as the proposal's texts show it: a double always with a fraction ("20.0", "55.7"),
// in exponent form outside the ordinary range ("1e-05", "1e+20").
std::string formatDouble(double value);

}  // namespace PopupDraftRules
}  // namespace parlendo
