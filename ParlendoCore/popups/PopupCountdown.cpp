#include "popups/PopupCountdown.h"

#include <algorithm>
#include <charconv>

namespace parlendo {

void PopupCountdown::filled(double seconds) {
    loading = false;
    remaining = seconds;
}

bool PopupCountdown::tick(double elapsed, bool paused) {
    if (loading) {
        loadingElapsed += elapsed;
        return loadingElapsed > loadingLimit;
    }
    if (paused) {
        return false;
    }
    remaining -= elapsed;
    return remaining <= 0;
}

std::string PopupCountdown::footer(bool paused) const {
    // Locale-independent: the decimal separator is always a point.
    char digits[512];  // room for any double in fixed notation
    double shown = remaining > 0 ? remaining : 0.0;
    auto end =
        std::to_chars(digits, digits + sizeof digits, shown, std::chars_format::fixed, 1).ptr;
    return std::string(paused ? "\u23F8" : "\u25B6") + " " + std::string(digits, end) + "s";
}

double PopupTickClock::elapsed(double uptime) {
    double out = hasLast_ ? std::max(uptime - last_, 0.0) : 0.0;
    last_ = uptime;
    hasLast_ = true;
    return out;
}

}  // namespace parlendo
