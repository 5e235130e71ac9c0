#pragma once

#include <string>

namespace parlendo {

// Timing constants of the cards, in seconds.
struct PopupStyle {
    static constexpr double total = 3.0;  // default display time of a filled card
    static constexpr double tick = 0.1;   // period of the presenter's countdown timer
};

// One card's countdown: loading (bounded by the loading limit, running even while the card is
// held), then filled (counting down its display time except while paused), then over.
// A plain value changed on the main thread. The presenter feeds it elapsed time measured on the
// monotonic clock, so wall-clock changes never stretch or cut a card's time.
struct PopupCountdown {
    bool loading = true;
    double loadingElapsed = 0;
    double remaining = PopupStyle::total;
    double total = PopupStyle::total;
    double loadingLimit = 0;

    PopupCountdown(double total_, double loadingLimit_)
        : remaining(total_), total(total_), loadingLimit(loadingLimit_) {}

    // The card got its body: count down `seconds` from now on.
    void filled(double seconds);

    // Advances by `elapsed` seconds; true when the card is over.
    bool tick(double elapsed, bool paused);

    // "▶ 2.3s", or "⏸ 2.3s" while paused; time below zero shows as 0.0.
    std::string footer(bool paused) const;

    bool operator==(const PopupCountdown&) const = default;
};

// Elapsed seconds between the presenter's ticks, read from a monotonic clock (uptime seconds).
// The first tick after `reset` counts nothing; a clock reading that goes backwards counts nothing.
class PopupTickClock {
  public:
    double elapsed(double uptime);
    void reset() { hasLast_ = false; }

  private:
    double last_ = 0;
    bool hasLast_ = false;
};

}  // namespace parlendo
