#pragma once

#include "capture/InputEvent.h"

#include <functional>
#include <optional>
#include <set>

namespace parlendo {

// Two short taps of Option (Alt here) alone, released within 0.45 seconds of each other, each
// held at most 0.35 seconds, with nothing else pressed, clicked or scrolled in between: calls
// `onTrigger`, which toggles detection. Main thread only.
class OptionDoubleTap final : public InputSubscriber {
  public:
    static constexpr double maxHold = 0.35;
    static constexpr double interval = 0.45;
    // X11 key codes of the left and right Alt keys.
    static inline const std::set<std::uint16_t> optionKeyCodes{64, 108};

    OptionDoubleTap();

    // Does nothing until set.
    std::function<void()> onTrigger;

    const InputKinds& kinds() const override { return kinds_; }
    bool receivesSynthetic() const override { return true; }
    std::string startLog() const override { return "⌥ 두 번 감시 시작"; }
    void handle(const InputEvent& event) override;

  private:
    void optionReleased(double time);

    InputKinds kinds_;
    std::optional<double> downAt_;
    bool interrupted_ = false;
    std::optional<double> lastTapAt_;
};

}  // namespace parlendo
