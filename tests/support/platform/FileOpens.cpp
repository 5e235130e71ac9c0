#include "FileOpens.h"

#include <gtk/gtk.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <string>

namespace parlendo::testing {

FileOpens::FileOpens(const std::vector<std::filesystem::path>& files)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const auto& file : files) {
        inotify_add_watch(fd_, file.c_str(), IN_OPEN);
    }
}

FileOpens::~FileOpens() {
    ::close(fd_);
}

int FileOpens::count() {
    int seen = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t length = 0;
    while ((length = ::read(fd_, buffer, sizeof buffer)) > 0) {
        for (char* at = buffer; at < buffer + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            seen += (event->mask & IN_OPEN) != 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return seen;
}

std::vector<std::filesystem::path> FileOpens::iconThemeIndexes() {
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-icon-theme-name", &name, nullptr);
    const std::vector<std::string> themes = {name != nullptr ? name : "", "Adwaita", "hicolor"};
    g_free(name);
    gchar** path = nullptr;
    gint folders = 0;
    gtk_icon_theme_get_search_path(gtk_icon_theme_get_default(), &path, &folders);
    std::vector<std::filesystem::path> out;
    for (gint i = 0; i < folders; ++i) {
        for (const auto& theme : themes) {
            const auto index = std::filesystem::path(path[i]) / theme / "index.theme";
            std::error_code ec;
            if (!theme.empty() && std::filesystem::exists(index, ec)) {
                out.push_back(index);
            }
        }
    }
    g_strfreev(path);
    return out;
}

}  // namespace parlendo::testing
