#pragma once

#include "foundation/Json.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The checks every popup setting value from the manage page passes before anything is sent.
namespace PopupSettingsRules {

inline constexpr size_t nameMax = 40;  // characters

// The content ids of the word book's content-type table.
const std::set<std::string, std::less<>>& contentIDs();

// The name trimmed of whitespace and newlines; none when that is empty or longer than 40
// characters.
std::optional<std::string> name(std::string_view name);

// The list unchanged; none when it is empty, holds an unknown id or holds an id twice.
std::optional<std::vector<std::string>> contents(const std::vector<std::string>& contents);

// The accepted options (none given: an empty object); none when any entry fails the word book's
// option schema (unknown key, a choice outside its list, a number out of range or not a number).
std::optional<Json> options(const Json* options);

// {"contents": contents} plus "options" when there are any.
Json spec(const std::vector<std::string>& contents, const Json& options);

}  // namespace PopupSettingsRules
}  // namespace parlendo
