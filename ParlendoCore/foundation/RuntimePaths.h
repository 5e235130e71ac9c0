#pragma once

#include "foundation/Result.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace parlendo {

// Where the program keeps its state and its log:
//   state root:  $XDG_DATA_HOME/PARLENDO   (default ~/.local/share/PARLENDO)
//   log folder:  $XDG_STATE_HOME/PARLENDO  (default ~/.local/state/PARLENDO), or EV_LOG_DIR.
namespace RuntimePaths {

using Environment = std::map<std::string, std::string>;

struct PathError {
    enum class Kind { notAbsolute, notCreatable, insideAppBundle };
    Kind kind;
    // "EV_LOG_DIR" for notAbsolute and insideAppBundle, the directory's path for notCreatable.
    std::string payload;
    bool operator==(const PathError&) const = default;
};

struct LogDirectory {
    std::filesystem::path url;
    bool appOwned = true;
};

// The process environment as a map.
Environment processEnvironment();

// The user's home folder: HOME, else the password database's entry.
std::filesystem::path homeDirectory(const Environment& environment);
// $XDG_CONFIG_HOME (default ~/.config), where desktop autostart entries live.
std::filesystem::path configHome(const Environment& environment);

std::filesystem::path stateRoot();
std::filesystem::path stateRoot(const Environment& environment);
std::filesystem::path defaultLogDirectory();
std::filesystem::path defaultLogDirectory(const Environment& environment);

// EV_LOG_DIR when set (absolute, outside the bundle, creatable), else the default directory,
// created when missing.
Result<LogDirectory, PathError> resolveLogDirectory(const Environment& environment,
                                                    const std::optional<std::string>& bundlePath);

// The XDG base folders themselves: $XDG_DATA_HOME (default ~/.local/share), $XDG_CACHE_HOME
// (~/.cache) and $XDG_STATE_HOME (~/.local/state).
std::filesystem::path dataHome(const Environment& environment);
std::filesystem::path cacheHome(const Environment& environment);
std::filesystem::path stateHome(const Environment& environment);

}  // namespace RuntimePaths
}  // namespace parlendo
