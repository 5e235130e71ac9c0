#include "DesktopProgram.h"

#include "DesktopSession.h"

// Google Test before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

namespace parlendo::testing {

namespace {

Display* display() {
    return gdk_x11_get_default_xdisplay();
}

struct Setup {
    std::string output;
};

// In the child, before the program runs: a process group of its own, the output in a file.
void childSetup(gpointer data) {
    ::setpgid(0, 0);
    const auto* setup = static_cast<const Setup*>(data);
    const int fd = ::open(setup->output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::close(fd);
    }
}

// One process as /proc/<pid>/stat tells it.
struct Process {
    int pid = 0;
    int parent = 0;
    int group = 0;
    std::string name;
    bool ended = false;  // a zombie: ended, not waited for yet
};

std::optional<Process> process(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) {
        return std::nullopt;
    }
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    Process out;
    out.pid = pid;
    out.name = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 2));
    std::string state;
    rest >> state >> out.parent >> out.group;
    out.ended = state == "Z";
    return out;
}

std::vector<Process> processes() {
    std::vector<Process> all;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
            if (auto found = process(std::stoi(name))) {
                all.push_back(std::move(*found));
            }
        }
    }
    return all;
}

std::optional<unsigned long> cardinal(::Window window, const char* name, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> value;
    if (XGetWindowProperty(display(), window, XInternAtom(display(), name, False), 0, 1, False,
                           type, &actual, &format, &items, &after, &data) == Success &&
        data != nullptr && items == 1 && format == 32) {
        value = *reinterpret_cast<unsigned long*>(data);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return value;
}

std::string title(::Window window) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string text;
    for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
        if (XGetWindowProperty(display(), window, XInternAtom(display(), name, False), 0, 1024,
                               False, AnyPropertyType, &actual, &format, &items, &after,
                               &data) == Success &&
            data != nullptr && format == 8) {
            text.assign(reinterpret_cast<const char*>(data), items);
        }
        if (data != nullptr) {
            XFree(data);
            data = nullptr;
        }
        if (!text.empty()) {
            break;
        }
    }
    return text;
}

}  // namespace

DesktopProgram::DesktopProgram(std::vector<std::string> arguments,
                               const std::map<std::string, std::string>& environment,
                               std::filesystem::path output) {
    gchar** envp = g_environ_unsetenv(g_get_environ(), "NO_AT_BRIDGE");
    for (const auto& [name, value] : environment) {
        envp = g_environ_setenv(envp, name.c_str(), value.c_str(), TRUE);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Setup setup{output.string()};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), envp,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       childSetup, &setup, &pid_, &error)) {
        ADD_FAILURE() << arguments.front() << " did not start: " << error->message;
        g_error_free(error);
        pid_ = 0;
    }
    g_strfreev(envp);
}

DesktopProgram::~DesktopProgram() {
    if (pid_ <= 0) {
        return;
    }
    // Every process of the group, each by its id: the program and the helpers it started.
    const auto signal = [&](int number) {
        for (const int pid : group()) {
            ::kill(pid, number);
        }
    };
    signal(SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!group().empty() && std::chrono::steady_clock::now() < until) {
        ::waitpid(pid_, nullptr, WNOHANG);
        g_usleep(20'000);
    }
    signal(SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

bool DesktopProgram::installed(const std::string& program) {
    gchar* path = g_find_program_in_path(program.c_str());
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

std::vector<int> DesktopProgram::group() const {
    // The program's process group, and every process they started since, even in a session of
    // its own (the job of a terminal).
    const auto all = processes();
    std::set<int> members;
    for (const auto& one : all) {
        if (one.group == pid_) {
            members.insert(one.pid);
        }
    }
    for (size_t before = 0; before != members.size();) {
        before = members.size();
        for (const auto& one : all) {
            if (members.contains(one.parent)) {
                members.insert(one.pid);
            }
        }
    }
    std::vector<int> running;
    for (const auto& one : all) {
        if (members.contains(one.pid) && !one.ended) {
            running.push_back(one.pid);
        }
    }
    return running;
}

bool DesktopProgram::running() const {
    const auto members = group();
    return std::find(members.begin(), members.end(), pid_) != members.end();
}

bool DesktopProgram::runs(const std::string& name) const {
    for (const int pid : group()) {
        if (const auto found = process(pid); found && found->name == name) {
            return true;
        }
    }
    return false;
}

std::optional<DesktopProgram::Window> DesktopProgram::window(
    const std::function<bool(const Window&)>& match, double seconds) const {
    Display* dpy = display();
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    GdkDisplay* gdk = gdk_display_get_default();
    for (;;) {
        const auto members = group();
        // Windows come and go while they are looked at (a splash screen).
        gdk_x11_display_error_trap_push(gdk);
        std::optional<Window> found;
        for (const ::Window client : DesktopSession::clientWindows()) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(dpy, client, &attributes) ||
                attributes.map_state != IsViewable) {
                continue;
            }
            const auto pid = cardinal(client, "_NET_WM_PID", XA_CARDINAL);
            if (!pid || std::find(members.begin(), members.end(), static_cast<int>(*pid)) ==
                            members.end()) {
                continue;
            }
            int x = 0;
            int y = 0;
            ::Window child = 0;
            XTranslateCoordinates(dpy, client, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
            Window one{client, GdkRectangle{x, y, attributes.width, attributes.height},
                       title(client), static_cast<int>(*pid)};
            if (match ? match(one) : attributes.width >= 200) {
                found = std::move(one);
                break;
            }
        }
        gdk_x11_display_error_trap_pop_ignored(gdk);
        if (found) {
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

}  // namespace parlendo::testing
