#include "foundation/WebContext.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"
#include "foundation/ProcStats.h"
#include "foundation/WorkerQueue.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace parlendo {

namespace {

WebKitWebContext* shared = nullptr;
// Whether `shared` was made here and is held until a web view takes it.
bool made = false;

// Resident memory of this process in MB.
double residentMB() {
    const auto sample = ProcStats::sample();
    return sample ? static_cast<double>(sample->rssBytes) / 1048576.0 : 0;
}

void trim() {
    // Off the main loop: walking the heap takes a while when it is large.
    ThreadPool::global().post([] {
        const double before = residentMB();
        ::malloc_trim(0);
        char line[96];
        std::snprintf(line, sizeof line, "웹 화면 닫힘 — 메모리 돌려줌 rss_mb=%.0f→%.0f", before,
                      residentMB());
        Log::write("app", line);
    });
}

bool trimPending = false;

void contextGone(gpointer, GObject* context) {
    if (reinterpret_cast<GObject*>(shared) == context) {
        shared = nullptr;
    }
}

// A web view went: what it and its page left behind is freed by now or shortly after.
void viewGone(gpointer, GObject*) {
    if (trimPending) {
        return;
    }
    trimPending = true;
    g_timeout_add_seconds(
        WebContext::trimAfterSeconds,
        +[](gpointer) -> gboolean {
            trimPending = false;
            trim();
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

WebKitWebContext* make() {
    WebKitMemoryPressureSettings* pressure = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(pressure, WebContext::memoryLimitMB);
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    auto* context =
        WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                        "memory-pressure-settings", pressure, nullptr));
    g_object_unref(data);
    webkit_memory_pressure_settings_free(pressure);
    // No page cache, no memory cache beyond the page in view: the pages are local documents.
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    g_object_weak_ref(G_OBJECT(context), contextGone, nullptr);
    return context;
}

// The file a function was loaded from; empty when the loader does not say.
std::string libraryOf(void* function) {
    Dl_info info{};
    if (dladdr(function, &info) == 0 || info.dli_fname == nullptr) {
        return "";
    }
    return info.dli_fname;
}

// Reads a file through to its end; the bytes read.
size_t readThrough(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> buffer(size_t{1} << 20);
    size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            total += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fd);
    return total;
}

// The engine's first set-up on the main thread runs code of WebKit and JavaScriptCore that nothing
// ran before. Each page of it that is not in the system's file cache is read from the disk as the
// code reaches it, one wait after the other, and a busy disk makes each wait tens of milliseconds.
// Read through here first, the two libraries are in the cache (the system's, which it gives back
// when it needs the memory; not this process's), and so are the engine's helper programs, which
// the main thread waits for while they start.
void cacheEngineFiles() {
    const double started = SystemClock::shared()->uptime();
    size_t bytes = 0;
    const std::string webkit = libraryOf(reinterpret_cast<void*>(&webkit_web_view_new));
    for (const std::string& library :
         {webkit, libraryOf(reinterpret_cast<void*>(&jsc_context_new))}) {
        if (!library.empty()) {
            bytes += readThrough(library);
        }
    }
    if (!webkit.empty()) {
        const auto helpers = std::filesystem::path(webkit).parent_path() / "webkit2gtk-4.1";
        for (const char* helper : {"WebKitNetworkProcess", "WebKitWebProcess"}) {
            bytes += readThrough(helpers / helper);
        }
    }
    char line[96];
    std::snprintf(line, sizeof line, "웹 엔진 파일 미리 읽음 mb=%.0f ms=%.0f",
                  static_cast<double>(bytes) / 1048576.0,
                  (SystemClock::shared()->uptime() - started) * 1000);
    Log::write("app", line);
}

}  // namespace

WebKitSettings* WebContext::settings() {
    WebKitSettings* settings = webkit_settings_new();
    // The pages are plain documents: drawn on the CPU, no GL driver in this process or the web
    // process.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_settings_set_enable_page_cache(settings, FALSE);
    webkit_settings_set_enable_webgl(settings, FALSE);
    webkit_settings_set_enable_webaudio(settings, FALSE);
    webkit_settings_set_enable_media(settings, FALSE);
    return settings;
}

std::vector<std::function<void()>> WebContext::startSteps() {
    return {[] {
                // The first settings of the process set up the engine's display.
                static bool started = false;
                if (!started) {
                    started = true;
                    g_object_unref(webkit_settings_new());
                }
            },
            [] {
                if (shared == nullptr) {
                    shared = make();
                    made = true;
                }
            }};
}

WebKitWebView* WebContext::webView(WebKitUserContentManager* content, WebKitSettings* settings) {
    if (shared == nullptr) {
        shared = make();
        made = true;
    }
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", shared,
                                              "user-content-manager", content, "settings", settings,
                                              nullptr));
    if (made) {
        // The web view holds the context from now on.
        made = false;
        g_object_unref(shared);
    }
    g_object_weak_ref(G_OBJECT(view), viewGone, nullptr);
    return view;
}

bool WebContext::alive() {
    return shared != nullptr;
}

void WebContext::prepare() {
    cacheEngineFiles();
    // A display of its own without a window system: the driver's libraries and its one-time
    // set-up are shared with the engine's display. A desktop without EGL simply gets nothing.
    EGLDisplay display =
        eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) {
        Log::write("app", "GL 미리 준비 못 함 — 웹 화면이 처음 뜰 때 준비한다");
    }
}

}  // namespace parlendo
