#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parlendo {

// Text functions with the server side's (Python str) semantics over code points: lengths and
// prefixes count code points, strip uses Python's whitespace set, lower applies the full Unicode
// lower-case mapping with the final-sigma rule, and equality compares code points.
namespace PyText {

bool isSpace(char32_t scalar);
std::string strip(std::string_view text);
size_t count(std::string_view text);
std::string prefix(std::string_view text, size_t n);
std::string lower(std::string_view text);
bool same(std::string_view a, std::string_view b);

}  // namespace PyText

}  // namespace parlendo
