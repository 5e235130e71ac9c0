#include "capture/DetectState.h"

#include "foundation/Uuid.h"

#include <algorithm>

namespace parlendo {

std::optional<std::string> DetectState::blocker() const {
    if (!enabled) {
        return "꺼짐";
    }
    if (!permissionGranted) {
        return "손쉬운 사용 권한 필요";
    }
    if (!loggedIn) {
        return "로그인 필요";
    }
    if (!healthy) {
        return "워커 중단 — 앱을 다시 켜주세요";
    }
    return std::nullopt;
}

const std::string& DetectState::instance() {
    static const std::string value = [] {
        std::string text = uuid::makeLower();
        std::erase(text, '-');
        return text;
    }();
    return value;
}

Json DetectState::manageStatus(std::int32_t pid, const std::optional<Json>& serverNotice) const {
    Json status{
        {"running", true},    {"owned", true},          {"requested", false}, {"pid", pid},
        {"enabled", enabled}, {"watching", watching()}, {"ready", ready()},   {"healthy", healthy},
    };
    if (serverNotice) {
        status["server_notice"] = *serverNotice;
    }
    if (rejections.total() >= 1) {
        status["instance"] = instance();
        status["health_status"] = "VERIFIED";
        status["health"] = Json{
            {"schema_version", 1},
            {"instance", instance()},
            {"pid", pid},
            {"rejections", rejections.manageShape()},
        };
    }
    return status;
}

}  // namespace parlendo
