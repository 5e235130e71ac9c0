#include "capture/XFixesClipboardCounter.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace parlendo {

std::shared_ptr<XFixesClipboardCounter> XFixesClipboardCounter::open(const std::string& display) {
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (connection == nullptr) {
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    if (!XFixesQueryExtension(connection, &eventBase, &errorBase)) {
        XCloseDisplay(connection);
        return nullptr;
    }
    int major = 0;
    int minor = 0;
    XFixesQueryVersion(connection, &major, &minor);
    const Atom clipboard = XInternAtom(connection, "CLIPBOARD", False);
    XFixesSelectSelectionInput(connection, DefaultRootWindow(connection), clipboard,
                               XFixesSetSelectionOwnerNotifyMask |
                                   XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    XSync(connection, False);
    return std::shared_ptr<XFixesClipboardCounter>(
        new XFixesClipboardCounter(connection, eventBase));
}

XFixesClipboardCounter::XFixesClipboardCounter(Display* display, int eventBase)
    : display_(display), eventBase_(eventBase) {}

XFixesClipboardCounter::~XFixesClipboardCounter() {
    XCloseDisplay(display_);
}

std::int64_t XFixesClipboardCounter::changeCount() {
    std::lock_guard guard(lock_);
    XSync(display_, False);
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == eventBase_ + XFixesSelectionNotify) {
            ++count_;
        }
    }
    return count_;
}

}  // namespace parlendo
