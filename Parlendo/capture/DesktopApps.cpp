#include "capture/DesktopApps.h"

#include "capture/ProcessDocuments.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <tuple>

namespace parlendo {

namespace {

// A small file of /proc, or none (a process that is gone, or not ours to read).
std::optional<std::string> procFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string data;
    data.resize(64 * 1024);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

std::vector<DesktopEntry> readEntries() {
    std::vector<DesktopEntry> entries;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item != nullptr; item = item->next) {
        auto* info = G_DESKTOP_APP_INFO(item->data);
        if (info == nullptr) {
            continue;
        }
        const char* id = g_app_info_get_id(G_APP_INFO(info));
        if (id == nullptr) {
            continue;
        }
        DesktopEntry entry;
        entry.id = AppIdentity::desktopID(id);
        if (const char* wmClass = g_desktop_app_info_get_startup_wm_class(info)) {
            entry.wmClass = wmClass;
        }
        if (const char* categories = g_desktop_app_info_get_categories(info)) {
            std::stringstream list(categories);
            std::string category;
            while (std::getline(list, category, ';')) {
                if (!category.empty()) {
                    entry.categories.push_back(category);
                }
            }
        }
        entries.push_back(std::move(entry));
    }
    g_list_free_full(all, g_object_unref);
    return entries;
}

}  // namespace

DesktopApps::DesktopApps(std::shared_ptr<X11Windows> windows) : windows_(std::move(windows)) {}

const std::vector<DesktopEntry>& DesktopApps::entries() {
    std::call_once(entriesOnce_, [this] { entries_ = readEntries(); });
    return entries_;
}

AppClues DesktopApps::clues(X11Windows::Window window) {
    AppClues clues;
    clues.pid = windows_->pid(window).value_or(0);
    if (clues.pid > 0) {
        const std::string proc = "/proc/" + std::to_string(clues.pid);
        clues.flatpakInfo = procFile(proc + "/root/.flatpak-info");
        clues.cgroup = procFile(proc + "/cgroup");
        clues.environ = procFile(proc + "/environ");
    }
    clues.gtkApplicationID = windows_->text(window, "_GTK_APPLICATION_ID");
    clues.kdeDesktopFile = windows_->text(window, "_KDE_NET_WM_DESKTOP_FILE");
    clues.bamfDesktopFile = windows_->text(window, "_BAMF_DESKTOP_FILE");
    std::tie(clues.wmInstance, clues.wmClass) = windows_->wmClass(window);
    return clues;
}

RunningApplication DesktopApps::application(X11Windows::Window window) {
    const AppClues found = clues(window);
    return RunningApplication{found.pid, AppIdentity::bundleID(found, entries())};
}

std::optional<RunningApplication> DesktopApps::front() {
    const auto active = windows_->activeWindow();
    if (!active) {
        return std::nullopt;
    }
    return application(*active);
}

CopyKeys DesktopApps::copyKeys(X11Windows::Window window) {
    const auto app = application(window);
    const DesktopEntry* entry =
        app.bundleID ? AppIdentity::entryForID(entries(), *app.bundleID) : nullptr;
    const auto [instance, windowClass] = windows_->wmClass(window);
    // A window whose process is not known or cannot be read (another user's) might be a
    // terminal: it gets no key.
    return AppIdentity::copyKeys(entry, instance, windowClass, holdsPseudoTerminal(app.pid));
}

bool DesktopApps::hasElectronFramework(std::int32_t pid) {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (error) {
        return false;
    }
    const auto resources = exe.parent_path() / "resources";
    for (const char* name : {"app.asar", "electron.asar", "default_app.asar"}) {
        if (std::filesystem::exists(resources / name, error)) {
            return true;
        }
    }
    return false;
}

std::optional<bool> DesktopApps::holdsPseudoTerminal(std::int32_t pid) {
    const auto open = ProcessDocuments::openFiles(pid);
    if (!open) {
        return std::nullopt;
    }
    // The pseudo-terminal multiplexer, or its instance in a devpts mount of its own.
    return std::any_of(open->begin(), open->end(), [](const std::filesystem::path& target) {
        return target == "/dev/ptmx" || target == "/dev/pts/ptmx";
    });
}

}  // namespace parlendo
