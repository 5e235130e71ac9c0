#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The private desktop of the capture tests: GTK on the test display without exporting this
// process's own windows to the accessibility bus (the tests read other processes), and toolkit
// accessibility switched on for the applications the tests start.
class DesktopSession {
  public:
    static void ensure() {
        static const bool ready = [] {
            setenv("NO_AT_BRIDGE", "1", 1);
            // A test application that was killed must not take the test down with its pipe.
            signal(SIGPIPE, SIG_IGN);
            writeDesktopEntries();
            gtk_init(nullptr, nullptr);
            setAccessibility(true);
            return true;
        }();
        (void)ready;
    }

    static bool available() { return std::getenv("DISPLAY") != nullptr; }

    // Desktop entries of the test applications in a data folder of this run: a plain one
    // (StartupWMClass ParlendoTestWindow) and a terminal (ParlendoTestTerminal).
    static void writeDesktopEntries();

    static void setAccessibility(bool on) {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus == nullptr) {
            return;
        }
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
            g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(on)),
            nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
        g_object_unref(bus);
    }

    // Runs the test under way again, in a process of its own on a session bus of its own, with
    // an accessibility bus of its own: for a test that ends that bus or switches it off, which
    // the session's other tests must not see. True in the test that started the run (it then only
    // expects the run to pass), false in the run itself.
    static bool rerunOnOwnSessionBus();
    // Ends the daemon of the accessibility bus that the session's bus launcher runs, as a crash
    // would (the launcher ends with it; the next request starts both anew); whether it ended.
    static bool endAccessibilityBus();

    // Runs the main loop until `done` holds or `seconds` pass; whether it held.
    static bool pumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        const guint tick = g_timeout_add(
            5, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
        bool held = done();
        while (!held && std::chrono::steady_clock::now() < until) {
            g_main_context_iteration(nullptr, TRUE);
            held = done();
        }
        g_source_remove(tick);
        return held;
    }
    static void pumpFor(double seconds) {
        pumpUntil([] { return false; }, seconds);
    }

    // Asks the window manager to make `window` the active window, as a task bar does, and
    // waits until it is; whether it became active.
    static bool activate(unsigned long window);
    // The X window of a shown window of this process.
    static unsigned long windowOf(GtkWidget* window);
    // The window manager's active window (0: none).
    static unsigned long activeWindow();
    // The window the window manager manages that holds the keyboard focus (the toolkit may give
    // it to a child of its own); 0 when none does.
    static unsigned long focusedWindow();
    // The windows the window manager manages, bottom to top.
    static std::vector<unsigned long> clientWindows();
    // Whether `upper` lies above `lower` in the window manager's stacking order.
    static bool stackedAbove(unsigned long upper, unsigned long lower);
    // Waits until `window` is the active window and lies above `other`; whether it came to be.
    static bool cameAbove(unsigned long window, unsigned long other, double seconds = 10.0) {
        return pumpUntil([&] { return activeWindow() == window && stackedAbove(window, other); },
                         seconds);
    }
    // The X server's time now, as a panel stamps a click with it.
    static unsigned serverTime();
    // Asks a window to close, as the window manager's close button does.
    static void close(unsigned long window);
    // The pid in the window's _NET_WM_PID, as its toolkit wrote it (0: none).
    static long windowPid(unsigned long window);
    // Writes `pid` into the window's _NET_WM_PID, as a sandboxed application writes there the
    // pid it has inside its sandbox.
    static void setWindowPid(unsigned long window, long pid);
    // A key press or release, or a click, through XTest, as the user's devices would send them.
    static void key(unsigned code, bool press);
    static void click(unsigned button);
    // Moves the pointer to a point of the screen (root coordinates).
    static void pointerTo(int x, int y);
    // The time of the user's latest action in `window` as its toolkit recorded it (0: none).
    static unsigned userTime(unsigned long window);
    // Clicks inside `window`, near its top left corner, as the user does to go on working there;
    // whether the window manager made it the active window.
    static bool clickInto(unsigned long window);
    static void tap(const std::vector<unsigned>& codes) {
        for (const auto code : codes) {
            key(code, true);
        }
        for (auto it = codes.rbegin(); it != codes.rend(); ++it) {
            key(*it, false);
        }
    }
    // Gives a key code another key symbol (by name) and modifier (0-7, or 8 for none) until the
    // returned function is called.
    static std::function<void()> remapKey(unsigned code, const char* keysym, unsigned modifier);
};

// The user time each window of this process carried on the X server when it was first mapped,
// from the making of the watch on: the window manager decides at that map whether a window comes
// up as the answer to the user's action.
class FirstMapTimes {
  public:
    FirstMapTimes();
    ~FirstMapTimes();
    FirstMapTimes(const FirstMapTimes&) = delete;
    FirstMapTimes& operator=(const FirstMapTimes&) = delete;

    // Nothing while `window` has not been mapped.
    std::optional<unsigned> of(GtkWidget* window) const;

  private:
    static gboolean onMap(GSignalInvocationHint*, guint count, const GValue* values, gpointer data);

    guint signal_ = 0;
    gulong hook_ = 0;
    std::map<GtkWidget*, unsigned> times_;
};

// A GTK application in a process of its own (tests/support/platform/window/TestWindow.cpp).
class TestWindow {
  public:
    explicit TestWindow(std::vector<std::string> args) {
        std::vector<char*> argv;
        std::string program = PARLENDO_TEST_WINDOW;
        argv.push_back(program.data());
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        gint in = -1;
        gint out = -1;
        GError* error = nullptr;
        gchar** envp = g_get_environ();
        envp = g_environ_unsetenv(envp, "NO_AT_BRIDGE");
        if (!g_spawn_async_with_pipes(nullptr, argv.data(), envp, G_SPAWN_DEFAULT, nullptr, nullptr,
                                      &pid_, &in, &out, nullptr, &error)) {
            ADD_FAILURE() << "cannot start the test window: " << error->message;
            g_error_free(error);
            g_strfreev(envp);
            return;
        }
        g_strfreev(envp);
        in_ = in;
        out_ = g_io_channel_unix_new(out);
        g_io_channel_set_close_on_unref(out_, TRUE);
        g_io_channel_set_flags(out_, G_IO_FLAG_NONBLOCK, nullptr);
        watch_ =
            g_io_add_watch(out_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), onOutput, this);
        if (auto ready = waitFor("ready ")) {
            xid = std::stoul(ready->substr(6));
        }
    }
    ~TestWindow() {
        if (in_ >= 0) {
            send("quit");
            close(in_);
        }
        // A window still busy with a large text would otherwise run on after the test, holding
        // the test runner's output open until it is done.
        if (pid_ > 0 && !DesktopSession::pumpUntil([this] { return ended(); }, 1.0)) {
            ::kill(pid_, SIGKILL);
        }
        if (watch_ != 0) {
            g_source_remove(watch_);
        }
        if (out_ != nullptr) {
            g_io_channel_unref(out_);
        }
        g_spawn_close_pid(pid_);
    }

    // Starts one and makes its window the active one.
    static std::unique_ptr<TestWindow> inFront(std::vector<std::string> args) {
        auto window = std::make_unique<TestWindow>(std::move(args));
        EXPECT_NE(window->xid, 0u);
        DesktopSession::activate(window->xid);
        DesktopSession::pumpFor(0.3);
        return window;
    }

    // Sends a command and waits for its "ok".
    bool command(const std::string& line) {
        send(line);
        return waitFor("ok").has_value();
    }
    // The first line starting with `prefix` (consumed), waiting up to `seconds`.
    std::optional<std::string> waitFor(const std::string& prefix, double seconds = 10.0) {
        std::optional<std::string> found;
        DesktopSession::pumpUntil(
            [&] {
                for (auto it = lines_.begin(); it != lines_.end(); ++it) {
                    if (it->starts_with(prefix)) {
                        found = *it;
                        lines_.erase(it);
                        return true;
                    }
                }
                return false;
            },
            seconds);
        return found;
    }
    // Every line received so far that starts with `prefix`.
    std::vector<std::string> seen(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& line : all_) {
            if (line.starts_with(prefix)) {
                out.push_back(line);
            }
        }
        return out;
    }

    int pid() const { return static_cast<int>(pid_); }
    unsigned long xid = 0;

  private:
    void send(const std::string& line) {
        const std::string text = line + "\n";
        (void)!write(in_, text.data(), text.size());
    }
    static gboolean onOutput(GIOChannel* channel, GIOCondition, gpointer data) {
        auto* self = static_cast<TestWindow*>(data);
        gchar* text = nullptr;
        gsize length = 0;
        GIOStatus status = G_IO_STATUS_NORMAL;
        while ((status = g_io_channel_read_line(channel, &text, &length, nullptr, nullptr)) ==
               G_IO_STATUS_NORMAL) {
            std::string line(text);
            g_free(text);
            while (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            self->lines_.push_back(line);
            self->all_.push_back(line);
        }
        if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
            self->watch_ = 0;
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }

    GPid pid_ = 0;
    // Whether the process is gone, or has ended and waits to be reaped by whoever adopted it.
    bool ended() const {
        if (::kill(pid_, 0) != 0) {
            return true;
        }
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
    }
    int in_ = -1;
    GIOChannel* out_ = nullptr;
    guint watch_ = 0;
    std::deque<std::string> lines_;
    std::vector<std::string> all_;
};

}  // namespace parlendo::testing
