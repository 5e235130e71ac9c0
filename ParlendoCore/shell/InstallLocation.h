#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Where the program runs from, judged by the path of its executable. Running from a mounted
// image or removable media loses the installation at the next start, so those need a move.
enum class InstallLocation { applications, diskImage, translocated, elsewhere };

namespace InstallLocations {

// "applications", "disk_image", "translocated", "elsewhere".
const char* toString(InstallLocation location);
std::optional<InstallLocation> fromString(std::string_view text);
bool needsMove(InstallLocation location);

// The first rule that applies: "/AppTranslocation/" anywhere → translocated; "/Volumes/" →
// diskImage; "/Applications/" or <home>/Applications/ → applications; an AppImage mount
// ("/tmp/.mount_") or removable media ("/media/", "/run/media/") → diskImage; "/usr/", "/opt/"
// or <home>/.local/ → applications; anything else → elsewhere.
InstallLocation judge(std::string_view path, std::string_view home);

}  // namespace InstallLocations
}  // namespace parlendo
