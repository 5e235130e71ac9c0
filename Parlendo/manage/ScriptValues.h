#pragma once

#include "foundation/Json.h"

#include <jsc/jsc.h>

#include <optional>
#include <string>

namespace parlendo::ScriptValues {

// A script's result as JSON: nothing for undefined or for a value JSON cannot hold (a function);
// text that is not valid Unicode is repaired as the bridge repairs messages.
std::optional<Json> json(JSCValue* value);
// The JSON text of a value as the engine writes it; nothing when it has none.
std::optional<std::string> jsonText(JSCValue* value);

}  // namespace parlendo::ScriptValues
