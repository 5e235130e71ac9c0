#include "DesktopApp.h"

// Google Test before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace parlendo::testing {

namespace {

void ownGroup(gpointer) {
    ::setpgid(0, 0);
}

std::optional<std::string> textProperty(Display* dpy, ::Window window, const char* name) {
    const Atom property = XInternAtom(dpy, name, False);
    XTextProperty value{};
    if (XGetTextProperty(dpy, window, &value, property) == 0 || value.value == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> out;
    if (value.encoding == XInternAtom(dpy, "UTF8_STRING", False) || value.encoding == XA_STRING) {
        out = std::string(reinterpret_cast<const char*>(value.value), value.nitems);
    } else {
        char** list = nullptr;
        int count = 0;
        if (Xutf8TextPropertyToTextList(dpy, &value, &list, &count) == Success && count > 0) {
            out = std::string(list[0]);
        }
        if (list != nullptr) {
            XFreeStringList(list);
        }
    }
    XFree(value.value);
    return out;
}

bool viewable(Display* dpy, ::Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(dpy, window, &attributes) != 0 &&
           attributes.map_state == IsViewable && attributes.width >= 200;
}

// The windows below the root, and below each of them (where a window manager puts its frames).
std::vector<::Window> topLevels(Display* dpy) {
    std::vector<::Window> out;
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count) == 0) {
        return out;
    }
    for (unsigned i = 0; i < count; ++i) {
        out.push_back(children[i]);
        ::Window* inner = nullptr;
        unsigned innerCount = 0;
        if (XQueryTree(dpy, children[i], &root, &parent, &inner, &innerCount) != 0) {
            out.insert(out.end(), inner, inner + innerCount);
            if (inner != nullptr) {
                XFree(inner);
            }
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return out;
}

}  // namespace

DesktopApp::DesktopApp(std::vector<std::string> argv, std::vector<std::string> environment) {
    // The tests keep their own windows off the accessibility bus; the application must be on it.
    gchar** envp = g_environ_unsetenv(g_get_environ(), "NO_AT_BRIDGE");
    for (const auto& entry : environment) {
        const auto eq = entry.find('=');
        envp =
            g_environ_setenv(envp, entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), TRUE);
    }
    std::vector<char*> args;
    for (auto& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    GError* error = nullptr;
    if (!g_spawn_async(
            nullptr, args.data(), envp,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                     G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
            ownGroup, nullptr, &pid_, &error)) {
        ADD_FAILURE() << argv.front() << " did not start: " << error->message;
        g_error_free(error);
        pid_ = 0;
    }
    g_strfreev(envp);
}

DesktopApp::~DesktopApp() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(-pid_, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < until) {
        ended = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
        // The group's other processes may outlive the first one for a moment.
        if (ended && ::kill(-pid_, 0) == 0) {
            ended = false;
        }
        if (!ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, WNOHANG);
}

bool DesktopApp::installed(const std::string& program) {
    gchar* path = g_find_program_in_path(program.c_str());
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

std::optional<std::string> DesktopApp::title(unsigned long window) {
    Display* dpy = gdk_x11_get_default_xdisplay();
    GdkDisplay* gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    auto out = textProperty(dpy, window, "_NET_WM_NAME");
    if (!out) {
        out = textProperty(dpy, window, "WM_NAME");
    }
    gdk_x11_display_error_trap_pop_ignored(gdk);
    return out;
}

std::optional<unsigned long> DesktopApp::window(const std::string& part, double seconds) {
    Display* dpy = gdk_x11_get_default_xdisplay();
    GdkDisplay* gdk = gdk_display_get_default();
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        gdk_x11_display_error_trap_push(gdk);
        std::optional<unsigned long> found;
        for (const ::Window candidate : topLevels(dpy)) {
            const auto name = title(candidate);
            if (name && name->find(part) != std::string::npos && viewable(dpy, candidate)) {
                found = candidate;
                break;
            }
        }
        gdk_x11_display_error_trap_pop_ignored(gdk);
        if (found || std::chrono::steady_clock::now() >= end) {
            return found;
        }
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(50'000);
    }
}

}  // namespace parlendo::testing
