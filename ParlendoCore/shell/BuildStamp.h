#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

struct AppBundle;

// The version and build of an installation, as its build-info file names them.
struct BuildStamp {
    std::string version;  // CFBundleShortVersionString
    std::string build;    // CFBundleVersion

    // "<version> (<build>)".
    std::string label() const;

    // The numbers of a version text split at "."; empty pieces are dropped, a piece that is not a
    // (signed) decimal integer counts 0: "1.10" gives 1, 10; "1..2" gives 1, 2; "2b" gives 0.
    static std::vector<std::int64_t> numbers(std::string_view version);
    // -1, 0 or 1 as `a` is numerically below, equal to or above `b`; missing numbers count 0.
    static int order(std::string_view a, std::string_view b);

    // The running program's stamp: the version falls back to "0.2.0", the build to "0".
    static BuildStamp running(const AppBundle& bundle);

    // Equality is textual; ordering is numeric, versions first, then builds.
    bool operator==(const BuildStamp&) const = default;
    friend bool operator<(const BuildStamp& a, const BuildStamp& b);
    friend bool operator>(const BuildStamp& a, const BuildStamp& b) { return b < a; }
};

// How the running build relates to the one that ran before.
struct InstallChange {
    enum class Kind { upgraded, downgraded, firstRun, same };
    Kind kind = Kind::same;
    // The recorded stamp, for upgraded and downgraded.
    std::optional<BuildStamp> from;

    static InstallChange upgraded(BuildStamp from) { return {Kind::upgraded, std::move(from)}; }
    static InstallChange downgraded(BuildStamp from) { return {Kind::downgraded, std::move(from)}; }
    static InstallChange firstRun() { return {Kind::firstRun, std::nullopt}; }
    static InstallChange same() { return {Kind::same, std::nullopt}; }

    // "upgraded", "downgraded", "first_run" or "same".
    std::string name() const;
    bool operator==(const InstallChange&) const = default;
};

}  // namespace parlendo
