#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// The rule of a modifier chord: it fires on the release of the last modifier when exactly the
// required modifiers were down together, nothing else was pressed while any modifier was held,
// and the release came within `maxHold` seconds of reaching the full chord. Times are event time
// stamps in seconds. A plain value, used on the main thread.
class ChordDetector {
  public:
    enum class Modifier { option, command, shift, control };

    enum class Reject { otherModifier, keyBetween, clickBetween, tooSlow };

    struct Triggered {
        // Seconds from reaching the full chord to the release.
        double held = 0;
        bool operator==(const Triggered&) const = default;
    };
    struct Rejected {
        Reject reason = Reject::otherModifier;
        bool operator==(const Rejected&) const = default;
    };
    struct None {
        bool operator==(const None&) const = default;
    };
    using Outcome = std::variant<None, Triggered, Rejected>;

    ChordDetector(std::set<Modifier> required, double maxHold);

    // The pressed modifiers changed to `pressed` at `time`.
    Outcome modifiers(const std::set<Modifier>& pressed, double time);
    // A key went down.
    void key();
    // A mouse button went down.
    void click();

    const std::set<Modifier>& required() const { return required_; }
    double maxHold() const { return maxHold_; }
    bool held() const { return held_; }
    std::optional<double> reachedAt() const { return reachedAt_; }
    std::optional<Reject> cancel() const { return cancel_; }

  private:
    void reset();

    std::set<Modifier> required_;
    double maxHold_;
    bool held_ = false;
    std::optional<double> reachedAt_;
    std::optional<Reject> cancel_;
};

std::string_view toString(ChordDetector::Reject reject);
std::optional<ChordDetector::Reject> rejectFromString(std::string_view text);

}  // namespace parlendo
