#include "manage/DiagnosticsRoutes.h"

namespace parlendo {

const std::vector<std::string>& DiagnosticsRoutes::names() {
    static const std::vector<std::string> list = {"ui_error"};
    return list;
}

DiagnosticsRoutes::DiagnosticsRoutes(std::shared_ptr<UIErrorLog> errors)
    : errors_(std::move(errors)) {}

std::map<std::string, BridgeEntry> DiagnosticsRoutes::routes() const {
    if (!errors_) {
        return notYet(names());
    }
    return {{"ui_error",
             BridgeEntry::implemented([errors = errors_](const BridgeArgs& args, auto reply) {
                 if (const std::optional<int> count = errors->record(args.any(0))) {
                     reply(BridgeReply::ok(Json{{"count", *count}}));
                 } else {
                     reply(BridgeReply::ok(Json{{"dropped", true}}));
                 }
             })}};
}

std::map<std::string, BridgeLogMode> DiagnosticsRoutes::logModes() const {
    return {{"ui_error", BridgeLogMode::selfLogged}};
}

}  // namespace parlendo
