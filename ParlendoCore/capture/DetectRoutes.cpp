#include "capture/DetectRoutes.h"

namespace parlendo {

DetectRoutes::DetectRoutes(DetectControl detect, std::int32_t pid, Notice notice)
    : detect_(std::move(detect)), pid_(pid), notice_(std::move(notice)) {}

std::map<std::string, BridgeEntry> DetectRoutes::routes() const {
    return {
        {"detect_status", status()},
        {"detect_start", switchTo(true)},
        {"detect_stop", switchTo(false)},
    };
}

std::map<std::string, BridgeLogMode> DetectRoutes::logModes() const {
    return {{"detect_status", BridgeLogMode::onChange}};
}

BridgeEntry DetectRoutes::status() const {
    return BridgeEntry::implemented([detect = detect_, pid = pid_, notice = notice_](
                                        const BridgeArgs&, Completion<void(BridgeReply)> reply) {
        const std::optional<Json> screen = notice ? notice() : std::nullopt;
        reply(BridgeReply::ok(detect.state().manageStatus(pid, screen)));
    });
}

BridgeEntry DetectRoutes::switchTo(bool enabled) const {
    return BridgeEntry::implemented([detect = detect_, pid = pid_, enabled](
                                        const BridgeArgs&, Completion<void(BridgeReply)> reply) {
        detect.setEnabled(enabled);
        reply(BridgeReply::ok(detect.state().manageStatus(pid, std::nullopt)));
    });
}

}  // namespace parlendo
