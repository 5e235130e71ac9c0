#include "lookup/NegativeCache.h"

#include <algorithm>

namespace parlendo {

NegativeCache::NegativeCache(size_t capacity, double ttl,
                             std::shared_ptr<const MonotonicClock> clock)
    : capacity_(capacity), ttl_(ttl), clock_(clock ? std::move(clock) : SystemClock::shared()) {}

bool NegativeCache::contains(const std::string& word) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(word);
    if (it == entries_.end()) {
        return false;
    }
    if (clock_->uptime() - it->second <= ttl_) {
        return true;
    }
    entries_.erase(it);
    order_.erase(std::remove(order_.begin(), order_.end(), word), order_.end());
    return false;
}

void NegativeCache::insert(const std::string& word) {
    std::lock_guard lock(mutex_);
    if (!entries_.contains(word)) {
        order_.push_back(word);
        while (order_.size() > capacity_) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
    }
    // A capacity of zero keeps nothing.
    if (capacity_ > 0) {
        entries_[word] = clock_->uptime();
    }
}

size_t NegativeCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace parlendo
