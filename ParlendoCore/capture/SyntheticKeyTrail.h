#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace parlendo {

// The key presses and releases that the application itself posted through the test device of the
// window system, so that the input watch can tell them from those of other clients posting
// through the same device (an automation tool, a remote desktop). A posted step is claimed once,
// by the first matching event within `window` seconds. Thread-safe: the copy posts from the
// selection-fetch queue, the input watch claims from its own thread.
class SyntheticKeyTrail {
  public:
    static constexpr double window = 2.0;

    struct Step {
        std::uint16_t keyCode = 0;
        bool press = true;
        bool operator==(const Step&) const = default;
    };

    // The application posted `steps` at `at` (monotonic seconds).
    void posted(const std::vector<Step>& steps, double at);
    // Whether an event of the test device at `at` is one the application posted; claims it.
    bool claim(std::uint16_t keyCode, bool press, double at);
    size_t outstanding() const;

  private:
    struct Entry {
        Step step;
        double at = 0;
    };
    void expire(double now);

    mutable std::mutex lock_;
    std::deque<Entry> entries_;
};

}  // namespace parlendo
