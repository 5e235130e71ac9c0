#pragma once

#include "foundation/Clock.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace parlendo {

// Words the sense generator called non-words, remembered for `ttl` seconds so that capturing one
// again does not call the server. Bounded by `capacity`, evicting by first insert. Keys are exact
// strings (the caller lower-cases them). Thread-safe: one lock per operation, the clock is read
// under it. Nothing is stored on disk. The time to live runs on a monotonic clock (the system's
// when none is given), so that setting the computer's date does not stretch or cut it.
class NegativeCache {
  public:
    NegativeCache(size_t capacity, double ttl, std::shared_ptr<const MonotonicClock> clock = {});

    // Whether the word was inserted no more than `ttl` seconds ago; an expired entry is removed.
    bool contains(const std::string& word);
    // Remembers the word, or refreshes its time stamp (its place in the eviction order stays).
    void insert(const std::string& word);

    size_t size() const;

  private:
    const size_t capacity_;
    const double ttl_;
    const std::shared_ptr<const MonotonicClock> clock_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, double> entries_;
    std::deque<std::string> order_;  // by first insert, oldest first
};

}  // namespace parlendo
