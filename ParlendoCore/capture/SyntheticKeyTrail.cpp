#include "capture/SyntheticKeyTrail.h"

namespace parlendo {

void SyntheticKeyTrail::posted(const std::vector<Step>& steps, double at) {
    std::lock_guard guard(lock_);
    expire(at);
    for (const auto& step : steps) {
        entries_.push_back(Entry{step, at});
    }
}

bool SyntheticKeyTrail::claim(std::uint16_t keyCode, bool press, double at) {
    std::lock_guard guard(lock_);
    expire(at);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->step.keyCode == keyCode && it->step.press == press) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

size_t SyntheticKeyTrail::outstanding() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

void SyntheticKeyTrail::expire(double now) {
    while (!entries_.empty() && now - entries_.front().at > window) {
        entries_.pop_front();
    }
}

}  // namespace parlendo
