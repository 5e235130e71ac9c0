#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace parlendo {

// Reads the windows of the X display through its own connection: the active window (from the
// window manager's _NET_ACTIVE_WINDOW, else the input focus), a selection's owner, and a window's
// process id, title, class and application hints. Every read is one or a few round trips; a
// window that vanished reads as absent. Thread-safe.
class X11Windows {
  public:
    using Window = std::uint32_t;

    // Connects to `display` (the DISPLAY of the environment when empty); null when it cannot.
    static std::shared_ptr<X11Windows> connect(const std::string& display = {});
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    Window root() const { return root_; }

    // The window the user works in: the window manager's active window, else the top-level
    // window that holds the input focus. None when there is none.
    std::optional<Window> activeWindow();
    // The top-level client window (the one the window manager manages) that holds `window`.
    std::optional<Window> clientOf(Window window);

    // The process of the client that created `window`, as the server saw it connect (the
    // X-Resource extension); none when the server cannot tell (a client on another machine, a
    // server without the extension).
    std::optional<std::int32_t> clientPid(Window window);
    // Whether the server tells the processes of its clients.
    bool knowsClients() const { return resources_ != nullptr; }
    // The process of `window`: its client's, else the _NET_WM_PID it names. That property alone
    // can mislead: a sandboxed application writes there the pid it has inside its sandbox,
    // another process on this machine.
    std::optional<std::int32_t> pid(Window window);
    // The window that owns the selection by that name (as "PRIMARY"); none when no one does.
    std::optional<Window> selectionOwner(const std::string& selection);
    // _NET_WM_NAME, else WM_NAME.
    std::optional<std::string> title(Window window);
    // The instance and class halves of WM_CLASS.
    std::pair<std::optional<std::string>, std::optional<std::string>> wmClass(Window window);
    // A text property by name as UTF-8: STRING is read as Latin-1, UTF8_STRING and any other
    // type as UTF-8 with invalid sequences replaced.
    std::optional<std::string> text(Window window, const std::string& property);
    std::optional<Window> windowProperty(Window window, const std::string& property);

    std::uint32_t atom(const std::string& name);

  private:
    X11Windows(xcb_connection_t* connection, Window root, Display* resources);
    std::optional<std::vector<std::uint8_t>> property(Window window, std::uint32_t atom,
                                                      std::uint32_t type, std::uint8_t& format,
                                                      std::uint32_t* actualType = nullptr);
    bool hasProperty(Window window, std::uint32_t atom);

    xcb_connection_t* connection_;
    Window root_;
    // A connection of Xlib's for the X-Resource queries (only Xlib speaks that extension here);
    // null when the server lacks the extension.
    std::mutex resourcesLock_;
    Display* resources_;
    std::mutex atomsLock_;
    std::map<std::string, std::uint32_t> atoms_;
};

}  // namespace parlendo
