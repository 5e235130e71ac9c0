#include "capture/GioContentTypes.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <memory>

namespace parlendo {

namespace {

// Scripts (shell, Python, Perl, Ruby, JavaScript, Lua, awk) and AppImages derive from
// application/x-executable in the shared MIME database; the others are listed for themselves.
constexpr std::array runnableTypes = {
    "application/x-executable",
    "application/x-pie-executable",
    // Position-independent executables are sniffed as shared objects by older databases.
    "application/x-sharedlib",
    "application/x-shellscript",
    "application/x-csh",
    "text/x-python",
    "text/x-python3",
    "application/x-perl",
    "application/x-ruby",
    "application/x-php",
    "application/javascript",
    "text/javascript",
    "text/x-lua",
    "text/tcl",
    "text/vbscript",
    "application/x-desktop",
    "application/vnd.appimage",
    "application/x-iso9660-appimage",
    "application/x-ms-dos-executable",
    "application/x-msdownload",
    "application/x-msi",
    "application/x-java-archive",
    "application/x-java-jnlp-file",
    "application/x-java",
    "application/vnd.android.package-archive",
    "application/x-mswinurl",
    "application/x-ms-shortcut",
    "text/x-ms-regedit",
    "application/vnd.debian.binary-package",
    "application/x-rpm",
    "application/vnd.flatpak",
    "application/vnd.flatpak.ref",
    "application/vnd.flatpak.repo",
    "application/vnd.snap",
    "application/x-cd-image",
    "application/x-raw-disk-image",
    "application/x-raw-disk-image-xz-compressed",
    "application/x-raw-floppy-disk-image",
    "application/x-apple-diskimage",
    "application/x-qemu-disk",
    "application/x-qed-disk",
    "application/x-vdi-disk",
    "application/x-vhd-disk",
    "application/x-vhdx-disk",
    "application/x-vmdk-disk",
    "application/x-virtualbox-ova",
};

// Programs that install, mount or run what they are given: a file whose type they open by
// default runs something too, whatever the type is called.
constexpr std::array runningHandlers = {
    "wine",
    "wine64",
    "wine-stable",
    "wine-development",
    "mono",
    "java",
    "javaws",
    "itweb-javaws",
    "gnome-software",
    "plasma-discover",
    "gdebi",
    "gdebi-gtk",
    "gdebi-kde",
    "qapt-deb-installer",
    "apper",
    "apturl",
    "snap-store",
    "appimagelauncherd",
    "AppImageLauncher",
    "gnome-disk-image-mounter",
    "udisksctl",
    "sh",
    "bash",
    "dash",
    "python3",
    "perl",
    "ruby",
    "node",
};

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

}  // namespace

std::optional<std::string> GioContentTypes::contentType(const std::string& path) {
    std::unique_ptr<GFile, GObjectUnref> file(g_file_new_for_path(path.c_str()));
    GError* error = nullptr;
    std::unique_ptr<GFileInfo, GObjectUnref> info(
        g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                          G_FILE_QUERY_INFO_NONE, nullptr, &error));
    if (!info) {
        g_clear_error(&error);
        return std::nullopt;
    }
    const char* type = g_file_info_get_content_type(info.get());
    if (type == nullptr) {
        return std::nullopt;
    }
    return std::string(type);
}

bool GioContentTypes::isRunnableType(const std::string& contentType) {
    for (const char* runnable : runnableTypes) {
        if (g_content_type_is_a(contentType.c_str(), runnable)) {
            return true;
        }
    }
    return false;
}

bool GioContentTypes::handlerRuns(const std::string& contentType) {
    std::unique_ptr<GAppInfo, GObjectUnref> handler(
        g_app_info_get_default_for_type(contentType.c_str(), FALSE));
    if (!handler) {
        return false;
    }
    if (G_IS_DESKTOP_APP_INFO(handler.get())) {
        const char* categories =
            g_desktop_app_info_get_categories(G_DESKTOP_APP_INFO(handler.get()));
        gchar** list = g_strsplit(categories != nullptr ? categories : "", ";", -1);
        const bool installer = g_strv_contains(list, "PackageManager");
        g_strfreev(list);
        if (installer) {
            return true;
        }
    }
    const char* executable = g_app_info_get_executable(handler.get());
    if (executable == nullptr) {
        return false;
    }
    gchar* name = g_path_get_basename(executable);
    const bool runs = std::any_of(runningHandlers.begin(), runningHandlers.end(),
                                  [&](const char* known) { return g_strcmp0(name, known) == 0; });
    g_free(name);
    return runs;
}

bool GioContentTypes::systemSaysRunnable(const std::string& path) {
    const std::optional<std::string> type = contentType(path);
    return type && (isRunnableType(*type) || handlerRuns(*type));
}

SourceURL::LocalFacts GioContentTypes::inspect(const std::string& path) {
    return SourceURL::inspect(path, &GioContentTypes::systemSaysRunnable);
}

}  // namespace parlendo
