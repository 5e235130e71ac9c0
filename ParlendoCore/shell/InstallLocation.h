#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Where the program runs from, judged by the file the user started: the executable, or the
// AppImage file it was unpacked from. Running from removable media loses the installation at the
// next start, so that needs a move.
enum class InstallLocation { applications, diskImage, translocated, elsewhere };

namespace InstallLocations {

// "applications", "disk_image", "translocated", "elsewhere".
const char* toString(InstallLocation location);
std::optional<InstallLocation> fromString(std::string_view text);
bool needsMove(InstallLocation location);

// The first rule that applies: "/AppTranslocation/" anywhere → translocated; "/Volumes/" →
// diskImage; "/Applications/" or <home>/Applications/ → applications; removable media
// ("/media/", "/run/media/") → diskImage; "/usr/", "/opt/" or <home>/.local/ → applications;
// anything else → elsewhere.
InstallLocation judge(std::string_view path, std::string_view home);

// The file the user started, which the location is judged by and which a restart or a login
// start runs again: the AppImage file ($APPIMAGE) when the executable runs from inside that
// AppImage's mount ($APPDIR), which goes away with the process; else the executable.
std::string programFile(std::string_view executable,
                        const std::map<std::string, std::string>& environment);

}  // namespace InstallLocations
}  // namespace parlendo
