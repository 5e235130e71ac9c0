#pragma once

#include "capture/AccessibleNode.h"

namespace parlendo {

// The monitors of the default display in card coordinates (origin at the bottom left of the
// primary monitor, y up), with the primary monitor's height, and the primary monitor's top left
// in X screen coordinates. Main thread.
namespace GdkScreens {

struct Layout {
    ScreenFrames frames;
    double originX = 0;
    double originY = 0;
};

Layout layout();

}  // namespace GdkScreens
}  // namespace parlendo
