#pragma once

namespace parlendo {

// A place in the source: file, line and function. As a default argument, `here()` names the place
// of the call that used the default (like std::source_location, which not every compiler the
// project builds with provides).
struct SourcePlace {
    const char* file = "";
    unsigned line = 0;
    const char* function = "";

    static constexpr SourcePlace here(const char* file = __builtin_FILE(),
                                      unsigned line = __builtin_LINE(),
                                      const char* function = __builtin_FUNCTION()) {
        return SourcePlace{file, line, function};
    }
};

}  // namespace parlendo
