#pragma once

#include "foundation/RuntimePaths.h"
#include "shell/DeviceCare.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace parlendo {

// The inventory of what the program leaves in this user's folders: the places, the check that a
// place is one of ours before anything is removed, the removal and its one-line summary. Pure
// functions over the folders they are given; any thread (the wipe removes off the main loop).
namespace DeviceData {

// One place the program keeps data in.
struct Target {
    std::string name;
    std::filesystem::path path;
    bool operator==(const Target&) const = default;
};

// What wiping one place came to.
using Outcome = DeviceCare::WipeOutcome;

// The base folders the program's places live in; nothing outside them is ever removed.
struct Roots {
    std::filesystem::path data;   // $XDG_DATA_HOME
    std::filesystem::path cache;  // $XDG_CACHE_HOME
    std::filesystem::path state;  // $XDG_STATE_HOME

    static Roots of(const RuntimePaths::Environment& environment);
    std::vector<std::filesystem::path> all() const { return {data, cache, state}; }
};

// How the wipe looks at and removes a place (the real file system unless a test says otherwise).
struct Files {
    // Whether anything, a link included, is at the path.
    std::function<bool(const std::filesystem::path&)> exists;
    // Removes what is at the path, a folder with its content; never follows a link. True when
    // it went.
    std::function<bool(const std::filesystem::path&)> remove;

    static Files real();
};

// The places, in wiping order: "app_state" (the state folder), "webview_store" (the web view's
// website data), "caches" (the web view's caches) and, when `includeLogs` and the log folder is
// the program's own, "logs". `bundleID` is the name the program's data is filed under in the
// base folders (the program's name). Touches nothing.
std::vector<Target> targets(const Roots& roots, const std::string& bundleID, bool includeLogs,
                            const std::filesystem::path& logDirectory, bool logAppOwned);

// True only for an absolute path whose folder, with every link resolved, lies inside one of the
// roots (the roots themselves excluded), when `bundleID` is not empty and the last component is
// "PARLENDO" or begins with `bundleID`.
bool isSafe(const std::filesystem::path& path, const Roots& roots, const std::string& bundleID);

// One outcome per target, in order. An unsafe target is left alone (existed and removed false);
// a missing one counts as removed. Never throws, never logs.
std::vector<Outcome> wipe(const std::vector<Target>& targets, const Roots& roots,
                          const std::string& bundleID, const Files& files = Files::real());

// "name=removed", "name=FAILED" or "name=absent" per outcome, joined by single spaces.
std::string summary(const std::vector<Outcome>& outcomes);

// Device care's wipe over these places: every place but the log folder, or only the log folder
// (none when it is not the program's own).
DeviceCare::WipeData wiper(Roots roots, std::string bundleID, Files files = Files::real());

}  // namespace DeviceData
}  // namespace parlendo
