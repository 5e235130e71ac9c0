#include "shell/AppearanceRoutes.h"

#include "foundation/Log.h"

namespace parlendo {

const std::vector<std::string>& AppearanceRoutes::names() {
    static const std::vector<std::string> list = {"get_ui_theme", "set_ui_theme", "ui_fonts"};
    return list;
}

Json AppearanceRoutes::themeUnavailable() {
    return Json{{"ok", false}, {"msg", "UI_THEME_UNAVAILABLE"}};
}

AppearanceRoutes::AppearanceRoutes(std::shared_ptr<ThemeStore> theme, ReadFonts fonts,
                                   std::shared_ptr<const MonotonicClock> clock)
    : theme_(std::move(theme)),
      fonts_(std::move(fonts)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

std::map<std::string, BridgeEntry> AppearanceRoutes::routes() const {
    if (!theme_ || !fonts_) {
        return notYet(names());
    }
    std::map<std::string, BridgeEntry> table;
    table.emplace("get_ui_theme",
                  BridgeEntry::implemented(
                      [theme = theme_](const BridgeArgs&, Completion<void(BridgeReply)> done) {
                          done(BridgeReply::ok(toString(theme->mode())));
                      }));
    table.emplace("set_ui_theme",
                  BridgeEntry::implemented(
                      [theme = theme_](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
                          const Json* value = args.any(0);
                          const auto mode = value != nullptr && value->is_string()
                                                ? theme->set(value->get<std::string>())
                                                : std::nullopt;
                          done(mode ? BridgeReply::ok(toString(*mode))
                                    : BridgeReply::custom(themeUnavailable()));
                      }));
    table.emplace(
        "ui_fonts",
        BridgeEntry::implemented([fonts = fonts_, clock = clock_](
                                     const BridgeArgs&, Completion<void(BridgeReply)> done) {
            const double started = clock->uptime();
            fonts([clock, started, done = std::move(done)](Fonts read) mutable {
                const auto ms = static_cast<long long>((clock->uptime() - started) * 1000);
                Log::write("manage", "ui_fonts count=" + std::to_string(read.fonts.size()) +
                                         " bytes=" + std::to_string(read.bytes) +
                                         " ms=" + std::to_string(ms));
                done(BridgeReply::ok(Json(std::move(read.fonts))));
            });
        }));
    return table;
}

}  // namespace parlendo
