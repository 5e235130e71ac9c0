#include "capture/DetectStore.h"

#include "foundation/Log.h"

namespace parlendo {

void DetectStore::addObserver(Observer observer) {
    if (observer) {
        observers_.push_back(std::move(observer));
    }
}

void DetectStore::write(const std::function<void(DetectState&)>& change) {
    const DetectState before = state_;
    change(state_);
    const DetectState now = state_;
    // An observer added while the others are called waits for the next change.
    const auto observers = observers_;
    for (const auto& observer : observers) {
        observer(now, before);
    }
}

DetectControl DetectStore::control() {
    std::weak_ptr<DetectStore> weak = weak_from_this();
    return DetectControl(
        [weak] {
            auto store = weak.lock();
            return store ? store->state() : DetectState{};
        },
        [weak](bool value) {
            auto store = weak.lock();
            if (!store) {
                return;
            }
            const auto& state = store->state();
            if (!state.permissionGranted || !state.loggedIn || !state.healthy) {
                return;
            }
            store->write([value](DetectState& s) { s.enabled = value; });
            Log::write("detect",
                       std::string("enabled=") + (value ? "true" : "false") + " source=manage");
        });
}

}  // namespace parlendo
