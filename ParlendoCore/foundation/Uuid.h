#pragma once

#include <string>

namespace parlendo {

// Random (version 4) UUIDs in their canonical text form.
namespace uuid {
// Upper-case, as the platform's UUID().uuidString writes it.
std::string makeUpper();
// Lower-case.
std::string makeLower();
// True for 8-4-4-4-12 hex digits in either case.
bool isCanonical(const std::string& text);
}  // namespace uuid

}  // namespace parlendo
