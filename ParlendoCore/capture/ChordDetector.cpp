#include "capture/ChordDetector.h"

#include <algorithm>
#include <utility>

namespace parlendo {

std::string_view toString(ChordDetector::Reject reject) {
    switch (reject) {
        case ChordDetector::Reject::otherModifier:
            return "other_modifier";
        case ChordDetector::Reject::keyBetween:
            return "key_between";
        case ChordDetector::Reject::clickBetween:
            return "click_between";
        case ChordDetector::Reject::tooSlow:
            return "too_slow";
    }
    return "";
}

std::optional<ChordDetector::Reject> rejectFromString(std::string_view text) {
    using Reject = ChordDetector::Reject;
    for (auto reject :
         {Reject::otherModifier, Reject::keyBetween, Reject::clickBetween, Reject::tooSlow}) {
        if (toString(reject) == text) {
            return reject;
        }
    }
    return std::nullopt;
}

ChordDetector::ChordDetector(std::set<Modifier> required, double maxHold)
    : required_(std::move(required)), maxHold_(maxHold) {}

void ChordDetector::reset() {
    held_ = false;
    reachedAt_.reset();
    cancel_.reset();
}

ChordDetector::Outcome ChordDetector::modifiers(const std::set<Modifier>& pressed, double time) {
    if (!pressed.empty()) {
        held_ = true;
        const bool subset =
            std::includes(required_.begin(), required_.end(), pressed.begin(), pressed.end());
        if (!subset && !cancel_) {
            cancel_ = Reject::otherModifier;
        }
        if (pressed == required_ && !reachedAt_) {
            reachedAt_ = time;
        }
        return None{};
    }
    if (held_ && reachedAt_) {
        if (cancel_) {
            const Reject reason = *cancel_;
            reset();
            return Rejected{reason};
        }
        const double d = time - *reachedAt_;
        held_ = false;
        reachedAt_.reset();
        if (d > maxHold_) {
            return Rejected{Reject::tooSlow};
        }
        return Triggered{d};
    }
    reset();
    return None{};
}

void ChordDetector::key() {
    if (held_ && !cancel_) {
        cancel_ = Reject::keyBetween;
    }
}

void ChordDetector::click() {
    if (held_ && !cancel_) {
        cancel_ = Reject::clickBetween;
    }
}

}  // namespace parlendo
