#pragma once

#include "capture/ChordDetector.h"
#include "capture/InputEvent.h"

#include <functional>

namespace parlendo {

// The Option+Command lookup chord (Alt+Control here) as an input subscriber: feeds the chord
// rule from modifier changes, key presses and clicks, and calls `onTrigger` with the release time
// stamp when the chord fires outside the application's own windows. Main thread only.
class LookupHotkey final : public InputSubscriber {
  public:
    LookupHotkey();

    // Called with the release time stamp (uptime seconds); does nothing until set.
    std::function<void(double releasedAt)> onTrigger;

    const InputKinds& kinds() const override { return kinds_; }
    bool receivesSynthetic() const override { return false; }
    std::string startLog() const override;
    void handle(const InputEvent& event) override;

    const ChordDetector& detector() const { return detector_; }

    // The chord modifiers present in `flags`.
    static std::set<ChordDetector::Modifier> pressedModifiers(std::uint64_t flags);

  private:
    ChordDetector detector_;
    InputKinds kinds_;
};

}  // namespace parlendo
