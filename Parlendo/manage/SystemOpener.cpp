#include "manage/SystemOpener.h"

#include "foundation/GlibErrors.h"
#include "foundation/Log.h"

#include <gio/gio.h>

namespace parlendo {

namespace {

void launched(GObject*, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
        Log::write("manage", "열기 실패 " + GlibErrors::describe(error));
        g_clear_error(&error);
    }
}

void launch(const std::string& uri) {
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, launched, nullptr);
}

}  // namespace

std::string SystemOpener::asciiURL(const std::string& url) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out += {'%', hex[c >> 4], hex[c & 15]};
        }
    }
    return out;
}

void SystemOpener::open(const std::string& url) {
    launch(asciiURL(url));
}

void SystemOpener::openPath(const std::string& path) {
    GFile* file = g_file_new_for_path(path.c_str());
    gchar* uri = g_file_get_uri(file);
    launch(uri);
    g_free(uri);
    g_object_unref(file);
}

}  // namespace parlendo
