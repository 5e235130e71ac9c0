#include "manage/ManageLayout.h"

#include <algorithm>
#include <cmath>

namespace parlendo::ManageLayout {

WindowSize windowSize(std::optional<Size> visible) {
    Size initial{width, height};
    if (visible && visible->width > 0 && visible->height > 0) {
        initial.width = std::min(std::trunc(visible->width), width);
        initial.height = std::min(std::trunc(visible->height), height);
    }
    return {initial, {std::min(initial.width, minWidth), std::min(initial.height, minHeight)}};
}

}  // namespace parlendo::ManageLayout
