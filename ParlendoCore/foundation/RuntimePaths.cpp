#include "foundation/RuntimePaths.h"

#include "foundation/FileIO.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace parlendo::RuntimePaths {

namespace fs = std::filesystem;

namespace {

std::string lookup(const Environment& environment, const std::string& key) {
    auto it = environment.find(key);
    return it == environment.end() ? std::string() : it->second;
}

fs::path home(const Environment& environment) {
    std::string value = lookup(environment, "HOME");
    if (!value.empty()) {
        return value;
    }
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/tmp";
}

// An XDG base directory: the variable when it holds an absolute path, else HOME + fallback.
fs::path xdg(const Environment& environment, const std::string& variable,
             const fs::path& fallback) {
    std::string value = lookup(environment, variable);
    if (!value.empty() && value.front() == '/') {
        return value;
    }
    return home(environment) / fallback;
}

// The folder, made when missing; the program's own folder is kept private, one the user named is
// made private when missing but otherwise left as it is.
Result<fs::path, PathError> ensureDirectory(const fs::path& directory, bool own) {
    std::error_code ec;
    fileio::makePrivateFolder(directory, own ? directory : fs::path());
    if (!fs::is_directory(directory, ec) || access(directory.c_str(), W_OK) != 0) {
        return fail(PathError{PathError::Kind::notCreatable, directory.string()});
    }
    return directory;
}

}  // namespace

Environment processEnvironment() {
    Environment environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        environment.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
    }
    return environment;
}

fs::path homeDirectory(const Environment& environment) {
    return home(environment);
}

fs::path configHome(const Environment& environment) {
    return xdg(environment, "XDG_CONFIG_HOME", ".config");
}

fs::path stateRoot(const Environment& environment) {
    return xdg(environment, "XDG_DATA_HOME", ".local/share") / "PARLENDO";
}

fs::path stateRoot() {
    return stateRoot(processEnvironment());
}

fs::path defaultLogDirectory(const Environment& environment) {
    return xdg(environment, "XDG_STATE_HOME", ".local/state") / "PARLENDO";
}

fs::path defaultLogDirectory() {
    return defaultLogDirectory(processEnvironment());
}

Result<LogDirectory, PathError> resolveLogDirectory(const Environment& environment,
                                                    const std::optional<std::string>& bundlePath) {
    const std::string override = lookup(environment, "EV_LOG_DIR");
    if (!override.empty()) {
        if (override.front() != '/') {
            return fail(PathError{PathError::Kind::notAbsolute, "EV_LOG_DIR"});
        }
        if (bundlePath && !bundlePath->empty() && override.starts_with(*bundlePath)) {
            return fail(PathError{PathError::Kind::insideAppBundle, "EV_LOG_DIR"});
        }
        auto ensured = ensureDirectory(override, false);
        if (!ensured) {
            return fail(ensured.error());
        }
        return LogDirectory{*ensured, false};
    }
    auto ensured = ensureDirectory(defaultLogDirectory(environment), true);
    if (!ensured) {
        return fail(ensured.error());
    }
    return LogDirectory{*ensured, true};
}

}  // namespace parlendo::RuntimePaths

namespace parlendo::RuntimePaths {

fs::path dataHome(const Environment& environment) {
    return xdg(environment, "XDG_DATA_HOME", ".local/share");
}

fs::path cacheHome(const Environment& environment) {
    return xdg(environment, "XDG_CACHE_HOME", ".cache");
}

fs::path stateHome(const Environment& environment) {
    return xdg(environment, "XDG_STATE_HOME", ".local/state");
}

}  // namespace parlendo::RuntimePaths
