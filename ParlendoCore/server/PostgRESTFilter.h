#pragma once

#include <string>
#include <string_view>

namespace parlendo {

// Escapes a value placed into a PostgREST query after an operator ("&user_id=eq." + value), so
// that user text and identifiers cannot add an operator, a condition or a list separator.
namespace PostgRESTFilter {

// Every character outside the letters, marks and digits of any script and "-", "_", "~" is
// percent-encoded (each UTF-8 byte as %XX); bytes that are not valid UTF-8 are encoded one by one.
std::string value(std::string_view text);

// Whether a code point stays as it is.
bool allowed(char32_t codePoint);

}  // namespace PostgRESTFilter

}  // namespace parlendo
