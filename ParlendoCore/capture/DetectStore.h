#pragma once

#include "capture/DetectControl.h"
#include "capture/DetectState.h"

#include <functional>
#include <memory>
#include <vector>

namespace parlendo {

// The one detection state of the process and its observers. Every writer changes the state
// through `write`, which then calls every observer once, in the order added, with (new state,
// previous state). Observers are never removed. Main thread only; lives in a shared_ptr so that
// `control` can hold it weakly.
class DetectStore : public std::enable_shared_from_this<DetectStore> {
  public:
    using Observer = std::function<void(const DetectState& now, const DetectState& before)>;

    const DetectState& state() const { return state_; }

    void addObserver(Observer observer);
    // Applies `change` to the state and tells every observer (even when nothing changed).
    void write(const std::function<void(DetectState&)>& change);

    // A reader and guarded switch holding this store weakly: a store that is gone reads as the
    // initial state and ignores the switch. The switch logs "enabled=<b> source=manage".
    DetectControl control();

  private:
    DetectState state_;
    std::vector<Observer> observers_;
};

}  // namespace parlendo
