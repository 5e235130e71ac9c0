#include "capture/XTestKeyboard.h"

#include "capture/CaptureKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <vector>

namespace parlendo {

namespace {

constexpr std::uint16_t fallbackControl = 37;
constexpr std::uint16_t fallbackShift = 50;

std::uint16_t keyFor(Display* display, KeySym sym, std::uint16_t fallback) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    return code != 0 ? code : fallback;
}

}  // namespace

std::shared_ptr<XTestKeyboard> XTestKeyboard::open(std::shared_ptr<SyntheticKeyTrail> trail,
                                                   std::shared_ptr<const MonotonicClock> clock,
                                                   const std::string& display) {
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (connection == nullptr) {
        return nullptr;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(connection, &event, &error, &major, &minor)) {
        XCloseDisplay(connection);
        return nullptr;
    }
    return std::shared_ptr<XTestKeyboard>(
        new XTestKeyboard(connection, std::move(trail), std::move(clock)));
}

XTestKeyboard::XTestKeyboard(Display* display, std::shared_ptr<SyntheticKeyTrail> trail,
                             std::shared_ptr<const MonotonicClock> clock)
    : display_(display), trail_(std::move(trail)), clock_(std::move(clock)) {}

XTestKeyboard::~XTestKeyboard() {
    XCloseDisplay(display_);
}

bool XTestKeyboard::postCopy(bool withShift) {
    std::lock_guard guard(lock_);
    const std::uint16_t control = keyFor(display_, XK_Control_L, fallbackControl);
    const std::uint16_t shift = keyFor(display_, XK_Shift_L, fallbackShift);
    const std::uint16_t c = keyFor(display_, XK_c, CaptureKeys::copyKeyCode);
    std::vector<SyntheticKeyTrail::Step> steps{{control, true}};
    if (withShift) {
        steps.push_back({shift, true});
    }
    steps.push_back({c, true});
    steps.push_back({c, false});
    if (withShift) {
        steps.push_back({shift, false});
    }
    steps.push_back({control, false});
    trail_->posted(steps, clock_->uptime());
    bool ok = true;
    for (const auto& step : steps) {
        ok =
            XTestFakeKeyEvent(display_, step.keyCode, step.press ? True : False, CurrentTime) && ok;
    }
    XFlush(display_);
    return ok;
}

}  // namespace parlendo
