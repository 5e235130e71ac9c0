#include "shell/ThemeStore.h"

#include "foundation/Log.h"

#include <string>

namespace parlendo {

const char* ThemeStore::toString(Source source) {
    switch (source) {
        case Source::system:
            return "system";
        case Source::toggle:
            return "toggle";
    }
    return "system";
}

ThemeStore::ThemeStore(std::function<ThemeMode()> system)
    : system_(std::move(system)), announcedMode_(system_ ? system_() : ThemeMode::light) {
    Log::write("theme", std::string("mode=") + parlendo::toString(announcedMode_) +
                            " source=" + toString(Source::system));
}

ThemeMode ThemeStore::mode() const {
    if (pinned_) {
        return *pinned_;
    }
    return system_ ? system_() : ThemeMode::light;
}

std::optional<ThemeMode> ThemeStore::set(std::string_view value) {
    const auto mode = themeModeFromString(value);
    if (!mode) {
        return std::nullopt;
    }
    pinned_ = *mode;
    announce(*mode, Source::toggle);
    return mode;
}

void ThemeStore::systemChanged() {
    if (pinned_) {
        return;
    }
    announce(system_ ? system_() : ThemeMode::light, Source::system);
}

void ThemeStore::observe(Observer observer) {
    observers_.push_back(std::move(observer));
}

void ThemeStore::announce(ThemeMode mode, Source source) {
    if (mode == announcedMode_ && source == announcedSource_) {
        return;
    }
    announcedMode_ = mode;
    announcedSource_ = source;
    Log::write("theme",
               std::string("mode=") + parlendo::toString(mode) + " source=" + toString(source));
    // An observer may register another; only those there now are told.
    const auto observers = observers_;
    for (const auto& observer : observers) {
        observer(mode, source);
    }
}

}  // namespace parlendo
