#include "capture/OptionDoubleTap.h"

#include "foundation/Log.h"

#include <cstdio>

namespace parlendo {

namespace {
// Cancelled gestures are logged only up to this many times their limit, so that ordinary use of
// Option does not fill the log.
constexpr double logReach = 3;
}  // namespace

OptionDoubleTap::OptionDoubleTap()
    : kinds_{InputEvent::Kind::flagsChanged, InputEvent::Kind::keyDown, InputEvent::Kind::mouseDown,
             InputEvent::Kind::scrollWheel} {}

void OptionDoubleTap::handle(const InputEvent& event) {
    if (event.kind != InputEvent::Kind::flagsChanged) {
        // A key press, a click or a scroll (the own synthetic copy included) breaks the gesture.
        interrupted_ = true;
        lastTapAt_.reset();
        return;
    }
    if (optionKeyCodes.contains(event.keyCode)) {
        const auto mods = event.modifierFlags & ModifierFlags::deviceIndependent;
        if (mods == ModifierFlags::option) {
            downAt_ = event.timestamp;
            interrupted_ = false;
            return;
        }
        if (mods == 0 && downAt_) {
            optionReleased(event.timestamp);
            return;
        }
    }
    downAt_.reset();
    lastTapAt_.reset();
}

void OptionDoubleTap::optionReleased(double time) {
    const double down = *downAt_;
    downAt_.reset();
    if (interrupted_) {
        lastTapAt_.reset();
        return;
    }
    const double hold = time - down;
    char line[96];
    if (hold > maxHold) {
        if (hold <= maxHold * logReach) {
            std::snprintf(line, sizeof line, "⌥ 탭 취소 reason=held_too_long hold_ms=%.0f",
                          hold * 1000);
            Log::write("hotkey", line);
        }
        lastTapAt_.reset();
        return;
    }
    if (!lastTapAt_) {
        lastTapAt_ = time;
        return;
    }
    const double gap = time - *lastTapAt_;
    if (gap <= interval) {
        lastTapAt_.reset();
        std::snprintf(line, sizeof line, "⌥ 두 번 발동 hold_ms=%.0f gap_ms=%.0f", hold * 1000,
                      gap * 1000);
        Log::write("hotkey", line);
        if (onTrigger) {
            onTrigger();
        }
        return;
    }
    if (gap <= interval * logReach) {
        std::snprintf(line, sizeof line, "⌥ 두 번 취소 reason=gap_too_long gap_ms=%.0f",
                      gap * 1000);
        Log::write("hotkey", line);
    }
    lastTapAt_ = time;
}

}  // namespace parlendo
