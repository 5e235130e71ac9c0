#include "capture/AppIdentity.h"

#include "foundation/Text.h"

#include <algorithm>
#include <cctype>

namespace parlendo::AppIdentity {

namespace {

using text::asciiIEquals;
using text::asciiLower;

std::string_view trim(std::string_view value) {
    return text::trimAscii(value);
}

// Lines of a text, without their line breaks.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::optional<std::string> nonEmpty(std::string text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// Terminal emulators by window class and desktop id, lower-cased, and whether Control+Shift+C
// copies in them out of the box (the ones built on VTE and the others that follow that
// convention). In every other terminal (xterm and its kin, the rxvt family, one not known)
// Control+Shift+C reaches the program as an interrupt.
struct Terminal {
    std::string_view name;
    bool shiftCopies;
};
constexpr Terminal terminals[] = {
    {"xterm", false},
    {"uxterm", false},
    {"lxterm", false},
    {"koi8rxterm", false},
    {"rxvt", false},
    {"urxvt", false},
    {"rxvt-unicode", false},
    {"urxvt-256color", false},
    {"mrxvt", false},
    {"eterm", false},
    {"aterm", false},
    {"x-terminal-emulator", false},
    {"gnome-terminal", true},
    {"gnome-terminal-server", true},
    {"org.gnome.terminal", true},
    {"org.gnome.console", true},
    {"kgx", true},
    {"konsole", true},
    {"org.kde.konsole", true},
    {"xfce4-terminal", true},
    {"mate-terminal", true},
    {"lxterminal", true},
    {"qterminal", true},
    {"terminator", true},
    {"tilix", true},
    {"com.gexperts.tilix", true},
    {"alacritty", true},
    {"kitty", true},
    {"st", true},
    {"st-256color", true},
    {"foot", true},
    {"footclient", true},
    {"wezterm", true},
    {"org.wezfurlong.wezterm", true},
    {"sakura", true},
    {"terminology", true},
    {"guake", true},
    {"tilda", true},
    {"yakuake", true},
    {"org.kde.yakuake", true},
    {"cool-retro-term", true},
    {"deepin-terminal", true},
    {"termite", true},
    {"hyper", false},
    {"tabby", true},
    {"contour", true},
    {"blackbox", true},
    {"com.raggesilver.blackbox", true},
    {"ptyxis", true},
    {"org.gnome.ptyxis", true},
    {"roxterm", true},
};

// The terminal named by the entry's id or by either half of the window's class.
const Terminal* knownTerminal(const DesktopEntry* entry, const std::optional<std::string>& instance,
                              const std::optional<std::string>& windowClass) {
    const auto find = [](const std::string& name) -> const Terminal* {
        const std::string lower = asciiLower(name);
        for (const auto& terminal : terminals) {
            if (terminal.name == lower) {
                return &terminal;
            }
        }
        return nullptr;
    };
    if (entry) {
        if (const auto* found = find(entry->id)) {
            return found;
        }
    }
    for (const auto* name : {&instance, &windowClass}) {
        if (*name) {
            if (const auto* found = find(**name)) {
                return found;
            }
        }
    }
    return nullptr;
}

}  // namespace

std::string desktopID(std::string_view fileOrPath) {
    if (const auto slash = fileOrPath.rfind('/'); slash != std::string_view::npos) {
        fileOrPath.remove_prefix(slash + 1);
    }
    constexpr std::string_view suffix = ".desktop";
    if (fileOrPath.size() > suffix.size() && fileOrPath.ends_with(suffix)) {
        fileOrPath.remove_suffix(suffix.size());
    }
    return std::string(fileOrPath);
}

std::optional<std::string> flatpakID(std::string_view flatpakInfo) {
    bool inApplication = false;
    for (auto line : lines(flatpakInfo)) {
        line = trim(line);
        if (line.starts_with('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (!inApplication) {
            continue;
        }
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && trim(line.substr(0, eq)) == "name") {
            return nonEmpty(std::string(trim(line.substr(eq + 1))));
        }
    }
    return std::nullopt;
}

std::optional<std::string> flatpakIDFromCgroup(std::string_view cgroup) {
    constexpr std::string_view marker = "app-flatpak-";
    const auto at = cgroup.find(marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    auto rest = cgroup.substr(at + marker.size());
    rest = rest.substr(0, rest.find_first_of("/\n"));
    constexpr std::string_view scope = ".scope";
    if (!rest.ends_with(scope)) {
        return std::nullopt;
    }
    rest.remove_suffix(scope.size());
    // "<id>-<number>": the id itself may hold dashes, the number does not.
    const auto dash = rest.rfind('-');
    if (dash == std::string_view::npos || dash == 0) {
        return std::nullopt;
    }
    const auto number = rest.substr(dash + 1);
    if (number.empty() || !std::all_of(number.begin(), number.end(),
                                       [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    return std::string(rest.substr(0, dash));
}

std::optional<std::string> launchedDesktopID(std::string_view environ, std::int32_t pid) {
    std::optional<std::string_view> file;
    std::optional<std::string_view> filePid;
    size_t start = 0;
    while (start < environ.size()) {
        auto end = environ.find('\0', start);
        if (end == std::string_view::npos) {
            end = environ.size();
        }
        const auto entry = environ.substr(start, end - start);
        constexpr std::string_view fileName = "GIO_LAUNCHED_DESKTOP_FILE=";
        constexpr std::string_view pidName = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
        if (entry.starts_with(fileName)) {
            file = entry.substr(fileName.size());
        } else if (entry.starts_with(pidName)) {
            filePid = entry.substr(pidName.size());
        }
        start = end + 1;
    }
    if (!file || !filePid || *filePid != std::to_string(pid)) {
        return std::nullopt;
    }
    return nonEmpty(desktopID(*file));
}

const DesktopEntry* entryForWindowClass(const std::vector<DesktopEntry>& entries,
                                        const std::optional<std::string>& instance,
                                        const std::optional<std::string>& windowClass) {
    for (const auto* name : {&windowClass, &instance}) {
        if (!*name || (*name)->empty()) {
            continue;
        }
        for (const auto& entry : entries) {
            if (entry.wmClass && *entry.wmClass == **name) {
                return &entry;
            }
        }
    }
    for (const auto* name : {&instance, &windowClass}) {
        if (!*name || (*name)->empty()) {
            continue;
        }
        for (const auto& entry : entries) {
            if (asciiIEquals(entry.id, **name)) {
                return &entry;
            }
        }
    }
    return nullptr;
}

const DesktopEntry* entryForID(const std::vector<DesktopEntry>& entries, std::string_view id) {
    for (const auto& entry : entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

std::optional<std::string> bundleID(const AppClues& clues,
                                    const std::vector<DesktopEntry>& entries) {
    if (clues.flatpakInfo) {
        if (auto id = flatpakID(*clues.flatpakInfo)) {
            return id;
        }
    }
    if (clues.cgroup) {
        if (auto id = flatpakIDFromCgroup(*clues.cgroup)) {
            return id;
        }
    }
    for (const auto* file :
         {&clues.gtkApplicationID, &clues.kdeDesktopFile, &clues.bamfDesktopFile}) {
        if (*file && !(*file)->empty()) {
            return desktopID(**file);
        }
    }
    if (clues.environ) {
        if (auto id = launchedDesktopID(*clues.environ, clues.pid)) {
            return id;
        }
    }
    if (const auto* entry = entryForWindowClass(entries, clues.wmInstance, clues.wmClass)) {
        return entry->id;
    }
    if (clues.wmClass && !clues.wmClass->empty()) {
        return asciiLower(*clues.wmClass);
    }
    if (clues.wmInstance && !clues.wmInstance->empty()) {
        return asciiLower(*clues.wmInstance);
    }
    return std::nullopt;
}

bool isTerminal(const DesktopEntry* entry, const std::optional<std::string>& instance,
                const std::optional<std::string>& windowClass, bool holdsPseudoTerminal) {
    if (holdsPseudoTerminal) {
        return true;
    }
    if (entry && std::find(entry->categories.begin(), entry->categories.end(),
                           "TerminalEmulator") != entry->categories.end()) {
        return true;
    }
    return knownTerminal(entry, instance, windowClass) != nullptr;
}

CopyKeys copyKeys(const DesktopEntry* entry, const std::optional<std::string>& instance,
                  const std::optional<std::string>& windowClass,
                  std::optional<bool> holdsPseudoTerminal) {
    if (!holdsPseudoTerminal) {
        return CopyKeys::none;
    }
    if (!isTerminal(entry, instance, windowClass, *holdsPseudoTerminal)) {
        return CopyKeys::controlC;
    }
    const auto* terminal = knownTerminal(entry, instance, windowClass);
    return terminal && terminal->shiftCopies ? CopyKeys::controlShiftC : CopyKeys::none;
}

}  // namespace parlendo::AppIdentity
