#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// One installed desktop entry as the application index knows it.
struct DesktopEntry {
    // The desktop-file id without ".desktop".
    std::string id;
    // Its StartupWMClass, when it names one.
    std::optional<std::string> wmClass;
    std::vector<std::string> categories;
    bool operator==(const DesktopEntry&) const = default;
};

// What the window system and /proc tell about the application behind a window; any of it may be
// missing.
struct AppClues {
    std::int32_t pid = 0;
    // The text of /proc/<pid>/root/.flatpak-info and of /proc/<pid>/cgroup.
    std::optional<std::string> flatpakInfo;
    std::optional<std::string> cgroup;
    // The window's _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE and _BAMF_DESKTOP_FILE.
    std::optional<std::string> gtkApplicationID;
    std::optional<std::string> kdeDesktopFile;
    std::optional<std::string> bamfDesktopFile;
    // The process environment (NUL-separated "NAME=value" entries).
    std::optional<std::string> environ;
    // The two halves of WM_CLASS.
    std::optional<std::string> wmInstance;
    std::optional<std::string> wmClass;
};

// The keys that copy the selection in an application; `none` where no key is safe to send.
enum class CopyKeys { controlC, controlShiftC, none };

// Names the application of a window the way the title and address rules know applications: its
// Flatpak id, else its desktop-file id (without ".desktop"), else its window class.
namespace AppIdentity {

// "firefox.desktop" and "/usr/share/applications/firefox.desktop" give "firefox".
std::string desktopID(std::string_view fileOrPath);

// The "name" of the [Application] group of a .flatpak-info file.
std::optional<std::string> flatpakID(std::string_view flatpakInfo);
// The application id of a Flatpak scope in a cgroup file ("app-flatpak-<id>-<n>.scope").
std::optional<std::string> flatpakIDFromCgroup(std::string_view cgroup);
// The desktop file a launcher started this very process from (GIO_LAUNCHED_DESKTOP_FILE with
// GIO_LAUNCHED_DESKTOP_FILE_PID equal to `pid`; children that inherited it do not count).
std::optional<std::string> launchedDesktopID(std::string_view environ, std::int32_t pid);

// The entry whose StartupWMClass is the window's class (or instance), else the entry whose id
// equals either, without regard to case.
const DesktopEntry* entryForWindowClass(const std::vector<DesktopEntry>& entries,
                                        const std::optional<std::string>& instance,
                                        const std::optional<std::string>& windowClass);
const DesktopEntry* entryForID(const std::vector<DesktopEntry>& entries, std::string_view id);

// The application id for the clues; none when nothing names the application.
std::optional<std::string> bundleID(const AppClues& clues,
                                    const std::vector<DesktopEntry>& entries);

// Whether the application is a terminal emulator, where Control+C interrupts the running program:
// its desktop entry says so by the TerminalEmulator category, its window class or desktop id is
// one of the known terminals (an entry without the category does not hide a known terminal), or
// its process holds a pseudo-terminal master, whatever class it was started under.
bool isTerminal(const DesktopEntry* entry, const std::optional<std::string>& instance,
                const std::optional<std::string>& windowClass, bool holdsPseudoTerminal = false);

// The keys that copy the selection in the application: Control+C, except in a terminal, where
// only the terminals known by name to copy on Control+Shift+C get that and every other terminal
// gets no key at all (Control+Shift+C reaches the program there as an interrupt). No key either
// when whether the process holds a pseudo-terminal is not known (none: its open files could not
// be read), since it might be a terminal whose running program a key would interrupt.
CopyKeys copyKeys(const DesktopEntry* entry, const std::optional<std::string>& instance,
                  const std::optional<std::string>& windowClass,
                  std::optional<bool> holdsPseudoTerminal = false);

}  // namespace AppIdentity
}  // namespace parlendo
