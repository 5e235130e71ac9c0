#include "capture/SyntheticCopyLedger.h"

#include "capture/CaptureKeys.h"

#include <algorithm>

namespace parlendo {

void SyntheticCopyLedger::mark(std::int64_t count) {
    std::lock_guard guard(lock_);
    if (counts_.size() >= capacity) {
        counts_.pop_front();
    }
    counts_.push_back(count);
}

bool SyntheticCopyLedger::isSynthetic(std::int64_t count) const {
    std::lock_guard guard(lock_);
    return std::find(counts_.begin(), counts_.end(), count) != counts_.end();
}

size_t SyntheticCopyLedger::size() const {
    std::lock_guard guard(lock_);
    return counts_.size();
}

bool SyntheticCopyLedger::isSyntheticEvent(std::int64_t userData) {
    return userData == CaptureKeys::syntheticEventTag;
}

}  // namespace parlendo
