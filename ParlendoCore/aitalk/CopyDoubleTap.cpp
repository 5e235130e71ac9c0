#include "aitalk/CopyDoubleTap.h"

#include "aitalk/AITalkKeys.h"

namespace parlendo {

CopyDoubleTap::Outcome CopyDoubleTap::key(std::uint16_t keyCode, bool commandOnly, double at,
                                          bool isRepeat, bool toOwnApp) {
    if (isRepeat) {
        return Outcome::none();
    }
    if (toOwnApp || !commandOnly || keyCode != AITalkKeys::copyKeyCode) {
        firstAt_.reset();
        return Outcome::none();
    }
    if (fired_) {
        return Outcome::none();
    }
    if (firstAt_) {
        const double gap = at - *firstAt_;
        if (gap <= 0) {
            return Outcome::none();
        }
        if (gap <= window_) {
            firstAt_.reset();
            fired_ = true;
            return Outcome::after(gap);
        }
    }
    firstAt_ = at;
    return Outcome::none();
}

void CopyDoubleTap::modifiers(bool commandOnly) {
    if (!commandOnly) {
        firstAt_.reset();
        fired_ = false;
    }
}

void CopyDoubleTap::click() {
    firstAt_.reset();
}

}  // namespace parlendo
