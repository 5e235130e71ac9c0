#include "capture/X11PrimarySelection.h"

#include "foundation/Log.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

namespace parlendo {

std::shared_ptr<X11PrimarySelection> X11PrimarySelection::open(const std::string& display) {
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (connection == nullptr) {
        return nullptr;
    }
    // Client ids came with version 1.2 of the extension.
    int bases[2] = {};
    int version[2] = {};
    const bool resources = XResQueryExtension(connection, &bases[0], &bases[1]) &&
                           XResQueryVersion(connection, &version[0], &version[1]) &&
                           (version[0] > 1 || (version[0] == 1 && version[1] >= 2));
    if (!resources) {
        Log::write("capture", "X 서버에 X-Resource 확장이 없음 — 주 선택을 읽지 않는다");
    }
    return std::shared_ptr<X11PrimarySelection>(new X11PrimarySelection(connection, resources));
}

X11PrimarySelection::X11PrimarySelection(Display* display, bool resources)
    : display_(display), resources_(resources) {}

X11PrimarySelection::~X11PrimarySelection() {
    XCloseDisplay(display_);
}

std::optional<std::int32_t> X11PrimarySelection::ownerPid() {
    if (!resources_) {
        return std::nullopt;
    }
    std::lock_guard guard(lock_);
    const ::Window owner = XGetSelectionOwner(display_, XA_PRIMARY);
    if (owner == 0) {
        return std::nullopt;
    }
    // The server finds the client by the owner's id alone: a client gone meanwhile reads as no
    // value, never as an error.
    XResClientIdSpec spec{owner, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    std::optional<std::int32_t> pid;
    if (XResQueryClientIds(display_, 1, &spec, &count, &values) == Success) {
        for (long i = 0; i < count && !pid; ++i) {
            if (const pid_t found = XResGetClientPid(&values[i]); found > 0) {
                pid = static_cast<std::int32_t>(found);
            }
        }
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

}  // namespace parlendo
