#include "capture/InputHub.h"

#include "capture/SyntheticCopyLedger.h"
#include "foundation/Log.h"

namespace parlendo {

InputHub::InputHub(std::shared_ptr<InputEventSource> source,
                   std::shared_ptr<SyntheticCopyLedger> syntheticCopies)
    : source_(std::move(source)),
      syntheticCopies_(std::move(syntheticCopies)),
      self_(std::make_shared<InputHub*>(this)) {}

InputHub::~InputHub() {
    *self_ = nullptr;
    for (auto token : monitors_) {
        source_->removeMonitor(token);
    }
}

void InputHub::subscribe(std::shared_ptr<InputSubscriber> subscriber) {
    if (!subscriber) {
        return;
    }
    subscribers_.push_back(subscriber);
    if (isRunning()) {
        Log::write("hotkey", subscriber->startLog());
    }
}

InputEventSource::Handler InputHub::handler(bool toOwnApp) {
    std::weak_ptr<InputHub*> weak = self_;
    return [weak, toOwnApp](const RawInputEvent& raw) {
        auto self = weak.lock();
        if (!self || *self == nullptr) {
            return;
        }
        (*self)->dispatch(raw, toOwnApp);
    };
}

void InputHub::start() {
    if (isRunning()) {
        return;
    }
    if (auto token = source_->addGlobalMonitor(handler(false))) {
        monitors_.push_back(*token);
    }
    if (auto token = source_->addLocalMonitor(handler(true))) {
        monitors_.push_back(*token);
    }
    for (const auto& subscriber : subscribers_) {
        Log::write("hotkey", subscriber->startLog());
    }
}

void InputHub::restart(const std::string& reason) {
    const auto removed = monitors_.size();
    auto tokens = std::move(monitors_);
    monitors_.clear();
    for (auto token : tokens) {
        source_->removeMonitor(token);
    }
    Log::write("hotkey",
               "전역 키 감시 다시 걸기 reason=" + reason + " removed=" + std::to_string(removed));
    start();
}

InputEvent InputHub::makeEvent(const RawInputEvent& raw, bool toOwnApp) {
    InputEvent event;
    switch (raw.type) {
        case RawInputEvent::Type::keyDown:
            event.kind = InputEvent::Kind::keyDown;
            break;
        case RawInputEvent::Type::keyUp:
            event.kind = InputEvent::Kind::keyUp;
            break;
        case RawInputEvent::Type::flagsChanged:
            event.kind = InputEvent::Kind::flagsChanged;
            break;
        case RawInputEvent::Type::scrollWheel:
            event.kind = InputEvent::Kind::scrollWheel;
            break;
        case RawInputEvent::Type::leftMouseDown:
        case RawInputEvent::Type::rightMouseDown:
        case RawInputEvent::Type::otherMouseDown:
            event.kind = InputEvent::Kind::mouseDown;
            break;
    }
    event.isSynthetic =
        raw.userData.has_value() && SyntheticCopyLedger::isSyntheticEvent(*raw.userData);
    event.modifierFlags = raw.modifierFlags;
    const bool isKey =
        event.kind == InputEvent::Kind::keyDown || event.kind == InputEvent::Kind::keyUp;
    event.keyCode = (isKey || event.kind == InputEvent::Kind::flagsChanged) ? raw.keyCode : 0;
    event.isRepeat = isKey && raw.isRepeat;
    event.timestamp = raw.timestamp;
    event.toOwnApp = toOwnApp;
    return event;
}

void InputHub::dispatch(const RawInputEvent& raw, bool toOwnApp) {
    const InputEvent event = makeEvent(raw, toOwnApp);
    // A subscriber may subscribe another one while handling; walk a copy of the list.
    const auto subscribers = subscribers_;
    for (const auto& subscriber : subscribers) {
        if (!subscriber->kinds().contains(event.kind)) {
            continue;
        }
        if (event.isSynthetic && !subscriber->receivesSynthetic()) {
            continue;
        }
        subscriber->handle(event);
    }
}

}  // namespace parlendo
