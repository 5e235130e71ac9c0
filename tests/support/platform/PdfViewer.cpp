#include "PdfViewer.h"

#include "DesktopSession.h"

// Google Test before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

namespace parlendo::testing {

PdfViewer::PdfViewer(const std::filesystem::path& pdf) {
    // The tests keep their own windows off the accessibility bus; the viewer must be on it.
    gchar** envp = g_environ_unsetenv(g_get_environ(), "NO_AT_BRIDGE");
    std::string name = program;
    std::string file = pdf.string();
    char* argv[] = {name.data(), file.data(), nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv, envp,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &pid_, &error)) {
        ADD_FAILURE() << program << " did not start: " << error->message;
        g_error_free(error);
    }
    g_strfreev(envp);
}

PdfViewer::~PdfViewer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

namespace {

// The mapped top-level window of `pid` wide enough to show a document, if there is one now.
std::optional<PdfViewer::Window> documentWindowOf(Display* dpy, unsigned long pid) {
    const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    std::optional<PdfViewer::Window> found;
    // The windows the window manager manages.
    for (const unsigned long window : DesktopSession::clientWindows()) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.map_state != IsViewable ||
            attributes.width < 200) {
            continue;
        }
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data != nullptr && items == 1 && *reinterpret_cast<unsigned long*>(data) == pid) {
            int x = 0;
            int y = 0;
            ::Window child = 0;
            XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
            found =
                PdfViewer::Window{window, GdkRectangle{x, y, attributes.width, attributes.height}};
        }
        if (data != nullptr) {
            XFree(data);
        }
        if (found) {
            break;
        }
    }
    return found;
}

}  // namespace

std::optional<PdfViewer::Window> PdfViewer::window(double seconds) const {
    Display* dpy = gdk_x11_get_default_xdisplay();
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (auto found = documentWindowOf(dpy, static_cast<unsigned long>(pid_))) {
            return found;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return std::nullopt;
        }
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(10'000);
    }
}

bool PdfViewer::installed() {
    gchar* path = g_find_program_in_path(program);
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

}  // namespace parlendo::testing
