#pragma once

#include "shell/ThemeStore.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>

namespace parlendo {

// The desktop's light or dark appearance: the XDG desktop portal's color-scheme (followed through
// its SettingChanged signal), else the GTK settings (a preference for dark, or a dark theme
// name). `bind` applies a pinned theme to the program's own windows and reports changes of the
// desktop's appearance to the store. Main thread.
class SystemAppearance : public std::enable_shared_from_this<SystemAppearance> {
  public:
    static std::shared_ptr<SystemAppearance> make();
    ~SystemAppearance();

    // The desktop's mode as last read.
    ThemeMode mode() const;
    // Starts the portal read and the watches; a later answer that changes the mode is reported.
    void bind(const std::shared_ptr<ThemeStore>& theme);

    // The portal's color-scheme: 1 prefers dark, 2 prefers light, 0 (no preference) and
    // anything else leave it to the GTK settings.
    static std::optional<ThemeMode> fromColorScheme(std::optional<unsigned> scheme);
    // The GTK settings' own answer.
    static ThemeMode fromGtk(bool preferDark, const std::string& themeName);

  private:
    SystemAppearance();
    void apply(ThemeMode mode, ThemeStore::Source source);
    void changed();
    void portalAnswered(std::optional<unsigned> scheme);

    std::weak_ptr<ThemeStore> theme_;
    GDBusConnection* bus_ = nullptr;
    guint signal_ = 0;
    gulong themeNotify_ = 0;
    std::optional<ThemeMode> portal_;
    bool systemPreferDark_ = false;
    std::shared_ptr<std::weak_ptr<SystemAppearance>> self_;
};

}  // namespace parlendo
