#include "account/DeviceData.h"

namespace parlendo::DeviceData {

namespace fs = std::filesystem;

namespace {

// The path without "." and ".." and without a trailing separator.
fs::path normalised(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path()) {
        normal = normal.parent_path();
    }
    return normal;
}

// `inner` lies strictly below `outer` (both normalised and absolute).
bool strictlyBelow(const fs::path& inner, const fs::path& outer) {
    std::string prefix = outer.generic_string();
    if (prefix.empty() || prefix.back() != '/') {
        prefix += '/';
    }
    return inner.generic_string().starts_with(prefix);
}

}  // namespace

Roots Roots::of(const RuntimePaths::Environment& environment) {
    return Roots{RuntimePaths::dataHome(environment), RuntimePaths::cacheHome(environment),
                 RuntimePaths::stateHome(environment)};
}

Files Files::real() {
    Files files;
    files.exists = [](const fs::path& path) {
        std::error_code ec;
        return fs::exists(fs::symlink_status(path, ec));
    };
    files.remove = [](const fs::path& path) {
        std::error_code ec;
        // remove_all never follows a link: a link goes, what it points at stays.
        fs::remove_all(path, ec);
        return !ec && !fs::exists(fs::symlink_status(path, ec));
    };
    return files;
}

std::vector<Target> targets(const Roots& roots, const std::string& bundleID, bool includeLogs,
                            const fs::path& logDirectory, bool logAppOwned) {
    std::vector<Target> list = {
        {"app_state", roots.data / "PARLENDO"},
        {"webview_store", roots.data / bundleID},
        {"caches", roots.cache / bundleID},
    };
    if (includeLogs && logAppOwned) {
        list.push_back({"logs", logDirectory});
    }
    return list;
}

bool isSafe(const fs::path& path, const Roots& roots, const std::string& bundleID) {
    if (bundleID.empty() || !path.is_absolute()) {
        return false;
    }
    const fs::path normal = normalised(path);
    const std::string name = normal.filename().string();
    if (name != "PARLENDO" && !name.starts_with(bundleID)) {
        return false;
    }
    // The folder that holds the place, with every link on the way resolved: a linked folder
    // cannot carry the wipe out of the roots.
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(normal.parent_path(), ec);
    if (ec) {
        return false;
    }
    const fs::path resolved = folder / name;
    for (const auto& root : roots.all()) {
        if (root.empty() || !root.is_absolute()) {
            continue;
        }
        const fs::path base = fs::weakly_canonical(normalised(root), ec);
        if (ec || base == base.root_path()) {
            continue;
        }
        if (strictlyBelow(resolved, base)) {
            return true;
        }
    }
    return false;
}

std::vector<Outcome> wipe(const std::vector<Target>& targets, const Roots& roots,
                          const std::string& bundleID, const Files& files) {
    std::vector<Outcome> outcomes;
    outcomes.reserve(targets.size());
    for (const auto& target : targets) {
        if (!isSafe(target.path, roots, bundleID)) {
            outcomes.push_back({target.name, false, false});
            continue;
        }
        if (!files.exists(target.path)) {
            outcomes.push_back({target.name, false, true});
            continue;
        }
        outcomes.push_back({target.name, true, files.remove(target.path)});
    }
    return outcomes;
}

std::string summary(const std::vector<Outcome>& outcomes) {
    std::string line;
    for (const auto& outcome : outcomes) {
        if (!line.empty()) {
            line += ' ';
        }
        const char* state = !outcome.existed ? "absent" : outcome.removed ? "removed" : "FAILED";
        line += outcome.name + "=" + state;
    }
    return line;
}

DeviceCare::WipeData wiper(Roots roots, std::string bundleID, Files files) {
    return [roots = std::move(roots), bundleID = std::move(bundleID), files = std::move(files)](
               bool logsOnly, const fs::path& logDirectory, bool logAppOwned) {
        auto list = targets(roots, bundleID, logsOnly, logDirectory, logAppOwned);
        if (logsOnly) {
            std::erase_if(list, [](const Target& target) { return target.name != "logs"; });
        }
        return wipe(list, roots, bundleID, files);
    };
}

}  // namespace parlendo::DeviceData
