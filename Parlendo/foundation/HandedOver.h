#pragma once

#include <atomic>
#include <utility>

namespace parlendo {

// A value made on one thread and handed through GLib (a source's callback data, an invoke) to the
// thread that uses it. GLib orders the hand-over with locks of its own, which ThreadSanitizer
// cannot see; the flag publishes the value's making to its user in a way it can, at the cost of
// one atomic store and load.
template <class T>
class HandedOver {
  public:
    explicit HandedOver(T value) : value_(std::move(value)) {
        made_.store(true, std::memory_order_release);
    }
    HandedOver(const HandedOver&) = delete;
    HandedOver& operator=(const HandedOver&) = delete;

    // The value, on the thread it was handed to.
    T& get() {
        made_.load(std::memory_order_acquire);
        return value_;
    }

  private:
    T value_;
    std::atomic<bool> made_{false};
};

}  // namespace parlendo
