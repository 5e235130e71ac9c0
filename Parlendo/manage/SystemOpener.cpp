#include "manage/SystemOpener.h"

#include "foundation/GlibErrors.h"
#include "foundation/Log.h"

#include <gio/gio.h>

#include <memory>

namespace parlendo {

namespace {

using Done = std::function<void(bool opened)>;

void launched(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Done> done(static_cast<Done*>(data));
    GError* error = nullptr;
    const bool opened = g_app_info_launch_default_for_uri_finish(result, &error) != FALSE;
    if (!opened) {
        Log::write("manage", "열기 실패 " + GlibErrors::describe(error));
        g_clear_error(&error);
    }
    if (done && *done) {
        (*done)(opened);
    }
}

void launch(const std::string& uri, Done done = nullptr) {
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, launched,
                                            done ? new Done(std::move(done)) : nullptr);
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
    open(url, nullptr);
}

void SystemOpener::open(const std::string& url, std::function<void(bool opened)> done) {
    launch(asciiURL(url), std::move(done));
}

void SystemOpener::openPath(const std::string& path) {
    openPath(path, nullptr);
}

void SystemOpener::openPath(const std::string& path, std::function<void(bool opened)> done) {
    GFile* file = g_file_new_for_path(path.c_str());
    gchar* uri = g_file_get_uri(file);
    launch(uri, std::move(done));
    g_free(uri);
    g_object_unref(file);
}

}  // namespace parlendo
