#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo::Base64 {

// Standard Base64 ("+", "/", "=" padding) on one line.
std::string encode(std::string_view bytes);

// The bytes of standard Base64 text with its padding; nullopt for anything else (a wrong length,
// a character outside the alphabet, padding in the middle).
std::optional<std::string> decode(std::string_view text);

}  // namespace parlendo::Base64
