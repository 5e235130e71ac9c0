#include "FakeInputSource.h"

#include <vector>

namespace parlendo::testing {

std::optional<InputEventSource::Token> FakeInputSource::addGlobalMonitor(Handler handler) {
    if (refuseGlobal) {
        return std::nullopt;
    }
    ++added_;
    monitors_[next_] = Monitor{false, std::move(handler)};
    return next_++;
}

std::optional<InputEventSource::Token> FakeInputSource::addLocalMonitor(Handler handler) {
    if (refuseLocal) {
        return std::nullopt;
    }
    ++added_;
    monitors_[next_] = Monitor{true, std::move(handler)};
    return next_++;
}

void FakeInputSource::removeMonitor(Token token) {
    removed_ += monitors_.erase(token);
}

void FakeInputSource::send(const RawInputEvent& raw, bool local) {
    std::vector<Handler> handlers;
    for (const auto& [token, monitor] : monitors_) {
        if (monitor.local == local) {
            handlers.push_back(monitor.handler);
        }
    }
    for (auto& handler : handlers) {
        handler(raw);
    }
}

void FakeInputSource::sendGlobal(const RawInputEvent& raw) {
    send(raw, false);
}

void FakeInputSource::sendLocal(const RawInputEvent& raw) {
    send(raw, true);
}

}  // namespace parlendo::testing
