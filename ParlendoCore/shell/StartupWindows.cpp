#include "shell/StartupWindows.h"

#include <utility>

namespace parlendo {

void StartupWindows::show(std::string name, Step step) {
    add(Entry{std::move(name), std::move(step), false});
}

void StartupWindows::hold(std::string name, Step step) {
    ++holds_;
    add(Entry{std::move(name), std::move(step), true});
}

void StartupWindows::afterHolds(std::function<void()> next) {
    if (holds_ == 0) {
        next();
        return;
    }
    afterHolds_.push_back(std::move(next));
}

std::vector<std::string> StartupWindows::waiting() const {
    std::vector<std::string> names;
    for (const auto& entry : queue_) {
        names.push_back(entry.name);
    }
    return names;
}

void StartupWindows::add(Entry entry) {
    queue_.push_back(std::move(entry));
    advance();
}

void StartupWindows::advance() {
    // A window answered while it is being shown opens the next one from this loop, not from
    // inside the one before.
    if (advancing_) {
        return;
    }
    advancing_ = true;
    while (open_.empty() && !queue_.empty()) {
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        open_ = entry.name.empty() ? "window" : entry.name;
        const unsigned long turn = ++turn_;
        std::weak_ptr<StartupWindows> weak = weak_from_this();
        entry.step([weak, turn, holds = entry.holds] {
            if (auto self = weak.lock()) {
                self->answered(turn, holds);
            }
        });
    }
    advancing_ = false;
}

void StartupWindows::answered(unsigned long turn, bool holds) {
    if (turn != turn_ || open_.empty()) {
        return;
    }
    open_.clear();
    if (holds && --holds_ == 0) {
        auto next = std::exchange(afterHolds_, {});
        for (auto& run : next) {
            run();
        }
    }
    advance();
}

}  // namespace parlendo
