#include "saving/SaveRetry.h"

#include <algorithm>
#include <charconv>

namespace parlendo::SaveRetry {

double delayAfter(const std::vector<double>& delays, int attempt) {
    if (delays.empty()) {
        return 0;
    }
    const size_t index = static_cast<size_t>(std::max(attempt, 1) - 1);
    return delays[std::min(index, delays.size() - 1)];
}

std::string formatDelay(double seconds) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace parlendo::SaveRetry
