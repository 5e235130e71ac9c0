#pragma once

#include "manage/ThemeMode.h"

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace parlendo {

// The one light-or-dark theme of the application. It follows the system appearance until the user
// pins a mode on the manage page; the pin lasts for the rest of the run and is never stored.
// Observers hear every change of the announced (mode, source) pair, in registration order.
// Main thread only.
class ThemeStore {
  public:
    // Why the theme changed: the system appearance (or the store was just made), or the user's pin.
    enum class Source { system, toggle };
    static const char* toString(Source source);

    using Observer = std::function<void(ThemeMode, Source)>;

    // `system` reads the system appearance's mode now. Logs the starting mode.
    explicit ThemeStore(std::function<ThemeMode()> system);

    // The pinned mode, else the system's (read at each call).
    ThemeMode mode() const;
    std::optional<ThemeMode> pinnedMode() const { return pinned_; }
    Source source() const { return pinned_ ? Source::toggle : Source::system; }

    // Pins "light" or "dark" (exactly those strings) and announces it; anything else changes
    // nothing and gives nothing.
    std::optional<ThemeMode> set(std::string_view value);

    // The system appearance changed: announced unless a mode is pinned.
    void systemChanged();

    // Not called at registration; never removed.
    void observe(Observer observer);

  private:
    void announce(ThemeMode mode, Source source);

    std::function<ThemeMode()> system_;
    std::optional<ThemeMode> pinned_;
    ThemeMode announcedMode_;
    Source announcedSource_ = Source::system;
    std::vector<Observer> observers_;
};

}  // namespace parlendo
