#pragma once

#include "capture/DetectState.h"

#include <functional>

namespace parlendo {

// The reader and guarded switch of detection, for code that does not hold the store. Main
// thread.
struct DetectControl {
    DetectControl(std::function<DetectState()> state_, std::function<void(bool)> setEnabled_)
        : state(std::move(state_)), setEnabled(std::move(setEnabled_)) {}

    // The current state.
    std::function<DetectState()> state;
    // Switches detection when permission, login and health all hold; otherwise does nothing.
    std::function<void(bool)> setEnabled;
};

}  // namespace parlendo
