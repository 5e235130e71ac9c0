#include "DesktopSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace parlendo::testing {

namespace {
Display* display() {
    return gdk_x11_get_default_xdisplay();
}

// A 32-bit property of a window of type `type` (a window, a time, a pid); 0 when it has none or
// the window is gone.
unsigned long property32(unsigned long window, const char* name, Atom type) {
    Display* dpy = display();
    GdkDisplay* gdk = gdk_display_get_default();
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    gdk_x11_display_error_trap_push(gdk);
    if (window != 0 &&
        XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 1, False, type, &actual,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (actual == type && count == 1 && format == 32) {
            value = *reinterpret_cast<unsigned long*>(data);
        }
        XFree(data);
    }
    gdk_x11_display_error_trap_pop_ignored(gdk);
    return value;
}
}  // namespace

unsigned long DesktopSession::windowOf(GtkWidget* window) {
    return GDK_WINDOW_XID(gtk_widget_get_window(window));
}

unsigned long DesktopSession::activeWindow() {
    return property32(DefaultRootWindow(display()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
}

unsigned long DesktopSession::focusedWindow() {
    Display* dpy = display();
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    const auto clients = clientWindows();
    while (focus != None && focus != PointerRoot && focus != DefaultRootWindow(dpy)) {
        if (std::find(clients.begin(), clients.end(), focus) != clients.end()) {
            return focus;
        }
        ::Window root = 0;
        ::Window parent = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(dpy, focus, &root, &parent, &children, &count) == 0) {
            break;
        }
        if (children != nullptr) {
            XFree(children);
        }
        focus = parent;
    }
    return 0;
}

std::vector<unsigned long> DesktopSession::clientWindows() {
    Display* dpy = display();
    const Atom list = XInternAtom(dpy, "_NET_CLIENT_LIST_STACKING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> windows;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), list, 0, 4096, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32) {
            const auto* ids = reinterpret_cast<unsigned long*>(data);
            windows.assign(ids, ids + count);
        }
        XFree(data);
    }
    return windows;
}

bool DesktopSession::stackedAbove(unsigned long upper, unsigned long lower) {
    const auto stack = clientWindows();
    const auto top = std::find(stack.begin(), stack.end(), upper);
    const auto bottom = std::find(stack.begin(), stack.end(), lower);
    return top != stack.end() && bottom != stack.end() && top > bottom;
}

unsigned DesktopSession::serverTime() {
    static GtkWidget* stamp = [] {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_realize(window);
        return window;
    }();
    return gdk_x11_get_server_time(gtk_widget_get_window(stamp));
}

bool DesktopSession::activate(unsigned long window) {
    Display* dpy = display();
    GdkDisplay* gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    // Asked of the window manager as a pager or task bar asks: source 2 is obeyed at once.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, DefaultRootWindow(dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(dpy, False);
    // A window that never takes the keyboard (a card, the answer window) is only raised.
    bool takesFocus = true;
    if (XWMHints* hints = XGetWMHints(dpy, window)) {
        takesFocus = (hints->flags & InputHint) == 0 || hints->input != False;
        XFree(hints);
    }
    gdk_x11_display_error_trap_pop_ignored(gdk);
    return pumpUntil([window] { return activeWindow() == window; }, takesFocus ? 10.0 : 0.1);
}

void DesktopSession::close(unsigned long window) {
    Display* dpy = display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XFlush(dpy);
}

long DesktopSession::windowPid(unsigned long window) {
    return static_cast<long>(property32(window, "_NET_WM_PID", XA_CARDINAL));
}

void DesktopSession::setWindowPid(unsigned long window, long pid) {
    Display* dpy = display();
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XSync(dpy, False);
}

void DesktopSession::key(unsigned code, bool press) {
    XTestFakeKeyEvent(display(), code, press ? True : False, CurrentTime);
    XFlush(display());
}

void DesktopSession::click(unsigned button) {
    XTestFakeButtonEvent(display(), button, True, CurrentTime);
    XTestFakeButtonEvent(display(), button, False, CurrentTime);
    XFlush(display());
}

void DesktopSession::pointerTo(int x, int y) {
    XTestFakeMotionEvent(display(), -1, x, y, CurrentTime);
    XFlush(display());
}

unsigned DesktopSession::userTime(unsigned long window) {
    // On the window itself, or on the window it names for it.
    unsigned time = static_cast<unsigned>(property32(window, "_NET_WM_USER_TIME", XA_CARDINAL));
    if (const unsigned long keeper = property32(window, "_NET_WM_USER_TIME_WINDOW", XA_WINDOW)) {
        time = std::max(
            time, static_cast<unsigned>(property32(keeper, "_NET_WM_USER_TIME", XA_CARDINAL)));
    }
    return time;
}

bool DesktopSession::clickInto(unsigned long window) {
    Display* dpy = display();
    int x = 0;
    int y = 0;
    ::Window child = 0;
    XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), 20, 20, &x, &y, &child);
    pointerTo(x, y);
    click(1);
    return pumpUntil([window] { return activeWindow() == window; });
}

std::function<void()> DesktopSession::remapKey(unsigned code, const char* keysym,
                                               unsigned modifier) {
    Display* dpy = display();
    int per = 0;
    KeySym* old = XGetKeyboardMapping(dpy, static_cast<KeyCode>(code), 1, &per);
    std::vector<KeySym> saved;
    if (old != nullptr && per > 0) {
        saved.assign(old, old + per);
    }
    if (old != nullptr) {
        XFree(old);
    }
    // At least one symbol per key, even for a key that had none.
    std::vector<KeySym> syms(std::max<size_t>(saved.size(), 1), NoSymbol);
    syms.front() = XStringToKeysym(keysym);
    XChangeKeyboardMapping(dpy, static_cast<int>(code), static_cast<int>(syms.size()), syms.data(),
                           1);
    XModifierKeymap* original = XGetModifierMapping(dpy);
    XModifierKeymap* changed = XGetModifierMapping(dpy);
    for (int mod = 0; mod < 8; ++mod) {
        changed = XDeleteModifiermapEntry(changed, static_cast<KeyCode>(code), mod);
    }
    if (modifier < 8) {
        changed = XInsertModifiermapEntry(changed, static_cast<KeyCode>(code),
                                          static_cast<int>(modifier));
    }
    XSetModifierMapping(dpy, changed);
    XFreeModifiermap(changed);
    XSync(dpy, False);
    return [code, saved, original] {
        Display* d = display();
        if (!saved.empty()) {
            XChangeKeyboardMapping(d, static_cast<int>(code), static_cast<int>(saved.size()),
                                   const_cast<KeySym*>(saved.data()), 1);
        }
        XSetModifierMapping(d, original);
        XFreeModifiermap(original);
        XSync(d, False);
    };
}

bool DesktopSession::rerunOnOwnSessionBus() {
    constexpr const char* mark = "PARLENDO_TEST_OWN_SESSION_BUS";
    if (std::getenv(mark) != nullptr) {
        // The bus client looks for its bus on the display first, which the session's launcher
        // may hold: it is told this run's own.
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GVariant* reply = bus == nullptr ? nullptr
                                         : g_dbus_connection_call_sync(
                                               bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                               "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                               G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply != nullptr) {
            const char* address = nullptr;
            g_variant_get(reply, "(&s)", &address);
            ::setenv("AT_SPI_BUS_ADDRESS", address, 1);
            g_variant_unref(reply);
        }
        if (bus != nullptr) {
            g_object_unref(bus);
        }
        return false;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    // The run's session bus, and with it the accessibility bus launcher it starts, never see the
    // display: a launcher that does announces its bus there (on the root window), and every
    // process of the session that looks for its bus in the meantime (another test's window, the
    // session's registry daemon) would take the run's bus for its own. Only the test is given it.
    std::string runner = "dbus-run-session";
    std::string separator = "--";
    std::string env = "env";
    std::string display = std::string("DISPLAY=") + std::getenv("DISPLAY");
    std::vector<char*> argv = {runner.data(),  separator.data(), env.data(), display.data(),
                               program.data(), filter.data(),    nullptr};
    // Its own runtime folder too: a bus launcher puts its bus's socket there under a name made of
    // the display's number, which would take the session's place.
    char pattern[] = "/tmp/parlendo-own-bus-XXXXXX";
    const char* runtime = ::mkdtemp(pattern);
    if (runtime == nullptr) {
        ADD_FAILURE() << "cannot make a runtime folder";
        return true;
    }
    gchar** envp = g_environ_setenv(g_get_environ(), mark, "1", TRUE);
    envp = g_environ_setenv(envp, "XDG_RUNTIME_DIR", runtime, TRUE);
    envp = g_environ_unsetenv(envp, "DISPLAY");
    GError* error = nullptr;
    int status = 0;
    // The run writes to this test's output.
    const bool ran = g_spawn_sync(nullptr, argv.data(), envp, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                  nullptr, nullptr, &status, &error);
    g_strfreev(envp);
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    if (!ran) {
        ADD_FAILURE() << "cannot run the test on a session bus of its own: " << error->message;
        g_error_free(error);
        return true;
    }
    EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr))
        << "the test failed on a session bus of its own (its output is above)";
    return true;
}

bool DesktopSession::endAccessibilityBus() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", "org.a11y.Bus"), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(bus);
    if (reply == nullptr) {
        return false;
    }
    guint32 launcher = 0;
    g_variant_get(reply, "(u)", &launcher);
    g_variant_unref(reply);
    // The launcher's own bus daemon is its child.
    pid_t daemon = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        std::getline(file, stat);
        const auto close = stat.rfind(')');
        if (close == std::string::npos || stat.find("(dbus-daemon)") == std::string::npos) {
            continue;
        }
        char state = 0;
        long parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
            parent == static_cast<long>(launcher)) {
            daemon = static_cast<pid_t>(std::stol(entry.path().filename().string()));
        }
    }
    if (daemon <= 0 || ::kill(daemon, SIGKILL) != 0) {
        return false;
    }
    // Gone once the launcher, its parent, has ended as well (an ended process may wait to be
    // reaped by whoever adopted it).
    return pumpUntil(
        [launcher] {
            std::ifstream file("/proc/" + std::to_string(launcher) + "/stat");
            std::string stat;
            std::getline(file, stat);
            const auto close = stat.rfind(')');
            return close == std::string::npos || stat.substr(close + 1, 3) == " Z ";
        },
        10.0);
}

void DesktopSession::writeDesktopEntries() {
    char pattern[] = "/tmp/parlendo-desktop-XXXXXX";
    const char* root = mkdtemp(pattern);
    if (root == nullptr) {
        return;
    }
    const std::string data = std::string(root) + "/data";
    const std::string applications = data + "/applications";
    g_mkdir_with_parents(applications.c_str(), 0700);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const auto write = [&](const char* id, const char* wmClass, const char* categories) {
        const std::string text = std::string("[Desktop Entry]\nType=Application\nName=") + id +
                                 "\nExec=true\nStartupWMClass=" + wmClass +
                                 "\nCategories=" + categories + "\n";
        g_file_set_contents((applications + "/" + id + ".desktop").c_str(), text.c_str(), -1,
                            nullptr);
    };
    write("org.parlendo.TestWindow", "ParlendoTestWindow", "Utility;");
    write("org.parlendo.TestTerminal", "ParlendoTestTerminal", "System;TerminalEmulator;");
}

FirstMapTimes::FirstMapTimes()
    : signal_(g_signal_lookup("map", GTK_TYPE_WIDGET)),
      hook_(g_signal_add_emission_hook(signal_, 0, onMap, this, nullptr)) {}

FirstMapTimes::~FirstMapTimes() {
    g_signal_remove_emission_hook(signal_, hook_);
}

std::optional<unsigned> FirstMapTimes::of(GtkWidget* window) const {
    const auto it = times_.find(window);
    return it == times_.end() ? std::nullopt : std::optional(it->second);
}

gboolean FirstMapTimes::onMap(GSignalInvocationHint*, guint count, const GValue* values,
                              gpointer data) {
    auto* widget = count > 0 ? GTK_WIDGET(g_value_get_object(&values[0])) : nullptr;
    if (widget != nullptr && gtk_widget_is_toplevel(widget) && GTK_IS_WINDOW(widget)) {
        // The toolkit's requests and this read share one connection: the server answers after
        // the map and whatever was set before it.
        static_cast<FirstMapTimes*>(data)->times_.emplace(
            widget, DesktopSession::userTime(DesktopSession::windowOf(widget)));
    }
    return TRUE;
}

}  // namespace parlendo::testing
