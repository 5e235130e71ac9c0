#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

namespace parlendo {

// The clipboard change counts that the application produced itself (its synthetic copies and the
// restores after them), the last 64 of them, so that clipboard watchers can ignore them.
// Thread-safe: the fetch queue writes it while the main thread reads it.
class SyntheticCopyLedger {
  public:
    static constexpr size_t capacity = 64;

    void mark(std::int64_t count);
    bool isSynthetic(std::int64_t count) const;
    size_t size() const;

    // Whether an event's source user data is the application's own tag.
    static bool isSyntheticEvent(std::int64_t userData);

  private:
    mutable std::mutex lock_;
    std::deque<std::int64_t> counts_;
};

}  // namespace parlendo
