#pragma once

#include "foundation/Log.h"

#include <glib.h>

#include <string>

namespace parlendo::GlibErrors {

// A short text of a GLib error for failure log lines: "<domain>#<code>" (the message may hold
// user text, so it stays out).
inline std::string describe(const GError* error) {
    if (error == nullptr) {
        return Log::describe("none", 0);
    }
    return Log::describe(g_quark_to_string(error->domain), error->code);
}

}  // namespace parlendo::GlibErrors
