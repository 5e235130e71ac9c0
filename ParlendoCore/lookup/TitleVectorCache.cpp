#include "lookup/TitleVectorCache.h"

#include "foundation/Clock.h"

#include <algorithm>

namespace parlendo {

namespace {

void removeAll(std::deque<std::string>& list, const std::string& key) {
    list.erase(std::remove(list.begin(), list.end(), key), list.end());
}

}  // namespace

TitleVectorCache::TitleVectorCache(std::function<double()> clock)
    : clock_(clock ? std::move(clock) : [] { return SystemClock::shared()->uptime(); }) {}

int TitleVectorCache::revision() const {
    std::lock_guard lock(mutex_);
    return revision_;
}

std::optional<int> TitleVectorCache::begin(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (key.empty() || pending_.contains(key) ||
        std::find(stored_.begin(), stored_.end(), key) != stored_.end() || vectors_.contains(key)) {
        return std::nullopt;
    }
    auto failed = failedUntil_.find(key);
    if (failed != failedUntil_.end() && clock_() < failed->second) {
        return std::nullopt;
    }
    pending_.insert(key);
    return revision_;
}

void TitleVectorCache::finish(const std::string& key, int revision, const Outcome& outcome) {
    Settled settled = Settled::nothing();
    std::vector<Callback> waiting;
    {
        std::lock_guard lock(mutex_);
        pending_.erase(key);
        if (revision == revision_) {
            switch (outcome.kind) {
                case Outcome::Kind::stored:
                    recordStoredLocked(key);
                    settled = Settled::stored();
                    break;
                case Outcome::Kind::failed:
                    recordFailureLocked(key);
                    break;
                case Outcome::Kind::vector:
                    recordVectorLocked(key, outcome.vector);
                    settled = Settled::makeVector(outcome.vector);
                    break;
            }
        }
        auto it = waiters_.find(key);
        if (it != waiters_.end()) {
            waiting = std::move(it->second);
            waiters_.erase(it);
        }
    }
    for (auto& callback : waiting) {
        callback(settled);
    }
}

void TitleVectorCache::whenSettled(const std::string& key, Callback callback) {
    Settled known;
    {
        std::lock_guard lock(mutex_);
        if (pending_.contains(key)) {
            waiters_[key].push_back(std::move(callback));
            return;
        }
        known = knownLocked(key);
    }
    callback(std::move(known));
}

void TitleVectorCache::markStored(const std::string& key, int revision) {
    std::lock_guard lock(mutex_);
    if (revision == revision_) {
        recordStoredLocked(key);
    }
}

void TitleVectorCache::remember(const std::string& key, std::vector<double> vector, int revision) {
    std::lock_guard lock(mutex_);
    if (revision == revision_) {
        recordVectorLocked(key, std::move(vector));
    }
}

bool TitleVectorCache::isStored(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return std::find(stored_.begin(), stored_.end(), key) != stored_.end();
}

void TitleVectorCache::invalidate() {
    std::vector<Callback> waiting;
    {
        std::lock_guard lock(mutex_);
        vectors_.clear();
        vectorOrder_.clear();
        failedUntil_.clear();
        stored_.clear();
        pending_.clear();
        ++revision_;
        for (auto& [key, callbacks] : waiters_) {
            for (auto& callback : callbacks) {
                waiting.push_back(std::move(callback));
            }
        }
        waiters_.clear();
    }
    for (auto& callback : waiting) {
        callback(Settled::nothing());
    }
}

void TitleVectorCache::recordStoredLocked(const std::string& key) {
    removeAll(stored_, key);
    stored_.push_back(key);
    if (stored_.size() > storedCapacity) {
        stored_.pop_front();
    }
}

void TitleVectorCache::recordFailureLocked(const std::string& key) {
    const double now = clock_();
    if (!failedUntil_.contains(key) && failedUntil_.size() >= failedCapacity) {
        std::erase_if(failedUntil_, [now](const auto& entry) { return !(now < entry.second); });
        if (failedUntil_.size() >= failedCapacity) {
            failedUntil_.erase(
                std::min_element(failedUntil_.begin(), failedUntil_.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; }));
        }
    }
    failedUntil_[key] = now + retryAfter;
}

size_t TitleVectorCache::failedCount() const {
    std::lock_guard lock(mutex_);
    return failedUntil_.size();
}

void TitleVectorCache::recordVectorLocked(const std::string& key, std::vector<double> vector) {
    vectors_[key] = std::move(vector);
    failedUntil_.erase(key);
    removeAll(vectorOrder_, key);
    vectorOrder_.push_back(key);
    while (vectorOrder_.size() > capacity) {
        vectors_.erase(vectorOrder_.front());
        vectorOrder_.pop_front();
    }
}

TitleVectorCache::Settled TitleVectorCache::knownLocked(const std::string& key) const {
    if (std::find(stored_.begin(), stored_.end(), key) != stored_.end()) {
        return Settled::stored();
    }
    auto it = vectors_.find(key);
    if (it != vectors_.end()) {
        return Settled::makeVector(it->second);
    }
    return Settled::nothing();
}

}  // namespace parlendo
