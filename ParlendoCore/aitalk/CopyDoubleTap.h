#pragma once

#include <cstdint>
#include <optional>

namespace parlendo {

// Decides from key presses alone whether C was pressed twice, within `window` seconds, while only
// the command modifier (Ctrl here) was held: at most one trigger per hold of the modifier. A
// press to one of the application's own windows, another key, another modifier or a mouse press
// in between breaks the pair; an auto-repeat changes nothing. Value type; main thread.
class CopyDoubleTap {
  public:
    struct Outcome {
        bool triggered = false;
        double gap = 0;  // seconds between the two presses, when triggered

        static Outcome none() { return {}; }
        static Outcome after(double gap) { return {true, gap}; }
        bool operator==(const Outcome& other) const {
            return triggered == other.triggered && (!triggered || gap == other.gap);
        }
    };

    explicit CopyDoubleTap(double window) : window_(window) {}

    Outcome key(std::uint16_t keyCode, bool commandOnly, double at, bool isRepeat, bool toOwnApp);
    void modifiers(bool commandOnly);
    void click();

    double window() const { return window_; }
    std::optional<double> firstAt() const { return firstAt_; }
    bool fired() const { return fired_; }

  private:
    double window_;
    std::optional<double> firstAt_;
    bool fired_ = false;
};

}  // namespace parlendo
