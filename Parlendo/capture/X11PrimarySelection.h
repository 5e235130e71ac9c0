#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

typedef struct _XDisplay Display;

namespace parlendo {

// Who holds the PRIMARY selection, the text the user selected last in any X application: the
// process of the client that owns it, as the X server knows it through the X-Resource extension
// (the window's own _NET_WM_PID may be missing or wrong; the server saw the client connect). On a
// connection of its own. Thread-safe.
class X11PrimarySelection {
  public:
    // Null when the display cannot be reached.
    static std::shared_ptr<X11PrimarySelection> open(const std::string& display = {});
    ~X11PrimarySelection();
    X11PrimarySelection(const X11PrimarySelection&) = delete;
    X11PrimarySelection& operator=(const X11PrimarySelection&) = delete;

    // The process id of the client that owns PRIMARY now; none when no one does or the server
    // cannot tell (a client on another machine, a server without the X-Resource extension).
    std::optional<std::int32_t> ownerPid();

  private:
    X11PrimarySelection(Display* display, bool resources);

    std::mutex lock_;
    Display* display_;
    bool resources_;
};

}  // namespace parlendo
