#pragma once

#include <string>
#include <string_view>

namespace parlendo::SHA256 {

// SHA-256 of the bytes (a text's UTF-8 bytes) as 64 lower-case hex digits.
std::string hex(std::string_view bytes);

// The 32 bytes of the SHA-256 digest.
std::string digest(std::string_view bytes);

}  // namespace parlendo::SHA256
