#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo::Base64 {

// Standard Base64 ("+", "/", "=" padding) on one line.
std::string encode(std::string_view bytes);

// The bytes of standard Base64 text exactly as `encode` writes it: groups of four alphabet
// characters, padding only at the very end, unused bits zero, no blanks or line breaks. Anything
// else is nullopt, so that damaged text is never read as other bytes.
std::optional<std::string> decode(std::string_view text);

}  // namespace parlendo::Base64
