#include "shell/InstallLocation.h"

namespace parlendo::InstallLocations {

const char* toString(InstallLocation location) {
    switch (location) {
        case InstallLocation::applications:
            return "applications";
        case InstallLocation::diskImage:
            return "disk_image";
        case InstallLocation::translocated:
            return "translocated";
        case InstallLocation::elsewhere:
            return "elsewhere";
    }
    return "elsewhere";
}

std::optional<InstallLocation> fromString(std::string_view text) {
    for (auto location : {InstallLocation::applications, InstallLocation::diskImage,
                          InstallLocation::translocated, InstallLocation::elsewhere}) {
        if (text == toString(location)) {
            return location;
        }
    }
    return std::nullopt;
}

bool needsMove(InstallLocation location) {
    switch (location) {
        case InstallLocation::diskImage:
        case InstallLocation::translocated:
            return true;
        case InstallLocation::applications:
        case InstallLocation::elsewhere:
            return false;
    }
    return false;
}

InstallLocation judge(std::string_view path, std::string_view home) {
    const std::string homeApplications = std::string(home) + "/Applications/";
    const std::string homeLocal = std::string(home) + "/.local/";
    if (path.find("/AppTranslocation/") != std::string_view::npos) {
        return InstallLocation::translocated;
    }
    if (path.starts_with("/Volumes/")) {
        return InstallLocation::diskImage;
    }
    if (path.starts_with("/Applications/") ||
        (!home.empty() && path.starts_with(homeApplications))) {
        return InstallLocation::applications;
    }
    for (const char* mount : {"/media/", "/run/media/"}) {
        if (path.starts_with(mount)) {
            return InstallLocation::diskImage;
        }
    }
    if (path.starts_with("/usr/") || path.starts_with("/opt/") ||
        (!home.empty() && path.starts_with(homeLocal))) {
        return InstallLocation::applications;
    }
    return InstallLocation::elsewhere;
}

std::string programFile(std::string_view executable,
                        const std::map<std::string, std::string>& environment) {
    const auto value = [&](const char* name) {
        const auto found = environment.find(name);
        return found != environment.end() ? found->second : std::string();
    };
    const std::string image = value("APPIMAGE");
    std::string mount = value("APPDIR");
    while (mount.size() > 1 && mount.back() == '/') {
        mount.pop_back();
    }
    // Only the AppImage this executable was unpacked from counts: the variables are inherited by
    // whatever such a program starts.
    if (image.starts_with('/') && mount.size() > 1 && mount.starts_with('/') &&
        executable.starts_with(mount + "/")) {
        return image;
    }
    return std::string(executable);
}

}  // namespace parlendo::InstallLocations
