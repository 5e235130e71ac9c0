#pragma once

#include "capture/X11Windows.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace parlendo {

// Who holds the PRIMARY selection, the text the user selected last in any X application: the
// process of the client that owns it, as the X server knows it through the X-Resource extension,
// the same reading as the front window's process (X11Windows::pid), so that the two compare
// even for a sandboxed application, whose window names the pid it has inside its sandbox.
// Thread-safe.
class X11PrimarySelection {
  public:
    // Null without windows to read.
    static std::shared_ptr<X11PrimarySelection> open(std::shared_ptr<X11Windows> windows);

    // The process id of the client that owns PRIMARY now; none when no one does or the server
    // cannot tell (a client on another machine, a server without the X-Resource extension).
    std::optional<std::int32_t> ownerPid();

  private:
    explicit X11PrimarySelection(std::shared_ptr<X11Windows> windows);

    std::shared_ptr<X11Windows> windows_;
};

}  // namespace parlendo
