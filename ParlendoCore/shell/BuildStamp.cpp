#include "shell/BuildStamp.h"

#include "foundation/AppBundle.h"
#include "foundation/Constants.h"

#include <charconv>

namespace parlendo {

namespace {

// A decimal integer with an optional sign ("+3", "-3"); nothing else.
std::optional<std::int64_t> integer(std::string_view piece) {
    std::string_view digits = piece;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || digits.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string BuildStamp::label() const {
    return version + " (" + build + ")";
}

std::vector<std::int64_t> BuildStamp::numbers(std::string_view version) {
    std::vector<std::int64_t> out;
    size_t start = 0;
    while (start <= version.size()) {
        const auto end = std::min(version.find('.', start), version.size());
        std::string_view piece = version.substr(start, end - start);
        if (!piece.empty()) {
            out.push_back(integer(piece).value_or(0));
        }
        start = end + 1;
    }
    return out;
}

int BuildStamp::order(std::string_view a, std::string_view b) {
    const auto left = numbers(a);
    const auto right = numbers(b);
    for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const std::int64_t x = i < left.size() ? left[i] : 0;
        const std::int64_t y = i < right.size() ? right[i] : 0;
        if (x != y) {
            return x > y ? 1 : -1;
        }
    }
    return 0;
}

BuildStamp BuildStamp::running(const AppBundle& bundle) {
    return BuildStamp{bundle.shortVersion.value_or(Constants::appVersion),
                      bundle.bundleVersion.value_or("0")};
}

bool operator<(const BuildStamp& a, const BuildStamp& b) {
    const int versions = BuildStamp::order(a.version, b.version);
    if (versions != 0) {
        return versions < 0;
    }
    return BuildStamp::order(a.build, b.build) < 0;
}

std::string InstallChange::name() const {
    switch (kind) {
        case Kind::upgraded:
            return "upgraded";
        case Kind::downgraded:
            return "downgraded";
        case Kind::firstRun:
            return "first_run";
        case Kind::same:
            return "same";
    }
    return "same";
}

}  // namespace parlendo
