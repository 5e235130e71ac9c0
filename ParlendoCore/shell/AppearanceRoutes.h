#pragma once

#include "foundation/Clock.h"
#include "foundation/Json.h"
#include "manage/BridgeRoutes.h"
#include "shell/ThemeStore.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The manage page's appearance calls: "get_ui_theme" reads the theme, "set_ui_theme" pins it,
// "ui_fonts" hands over the program's web fonts. Without a theme store and a font reader every
// call is not served. Read and called on the main executor.
class AppearanceRoutes final : public BridgeRoutes {
  public:
    // The web fonts as the page takes them, and the size of the font files read.
    struct Fonts {
        std::vector<Json> fonts;
        size_t bytes = 0;
    };
    // Hands the fonts over, on the main executor, when they are read.
    using ReadFonts = std::function<void(Completion<void(Fonts)>)>;

    static const std::vector<std::string>& names();
    // The reply to a mode that is not "light" or "dark".
    static Json themeUnavailable();

    AppearanceRoutes() = default;
    AppearanceRoutes(std::shared_ptr<ThemeStore> theme, ReadFonts fonts,
                     std::shared_ptr<const MonotonicClock> clock = nullptr);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<ThemeStore> theme_;
    ReadFonts fonts_;
    std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
