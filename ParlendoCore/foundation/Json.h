#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// JSON values. Objects keep their keys sorted, so serialised text is canonical.
using Json = nlohmann::json;

// JSON helpers that never throw: nlohmann-json's exceptions stop here.
namespace json {

// Parses a complete JSON text; nullopt for anything that is not exactly one JSON value
// (trailing garbage, invalid UTF-8, empty input) and for arrays and objects nested more than 512
// deep.
std::optional<Json> parse(std::string_view text);

// Compact serialisation with sorted keys and unescaped "/"; nullopt when a string holds
// invalid UTF-8.
std::optional<std::string> dump(const Json& value);

// Compact serialisation in which invalid UTF-8 is replaced by U+FFFD; always succeeds.
std::string dumpLossy(const Json& value);

// Typed member reads: nullopt when `object` is not an object, the key is missing, or the member
// has another type. Booleans are never numbers and numbers never booleans.
std::optional<std::string> string(const Json& object, std::string_view key);
std::optional<bool> boolean(const Json& object, std::string_view key);
// An integer member: a JSON integer, or a floating-point number with an exact integer value.
std::optional<std::int64_t> integer(const Json& object, std::string_view key);
// Any JSON number as a double (finite values only).
std::optional<double> number(const Json& object, std::string_view key);
const Json* object(const Json& object, std::string_view key);
const Json* array(const Json& object, std::string_view key);

}  // namespace json
}  // namespace parlendo
