#include "aitalk/AITalkText.h"

namespace parlendo::AITalkText {

std::string error(const DriveFailure& failure) {
    const std::string& code = failure.code;
    if (code == "auth_required") {
        return login;
    }
    if (code == "quota_exceeded") {
        if (failure.scope == "minute") {
            return quotaMinute;
        }
        if (failure.scope == "day") {
            return quotaDay;
        }
        return quota;
    }
    if (code == "network_unavailable") {
        return network;
    }
    if (code == "app_update_required") {
        return updateRequired;
    }
    return retry;
}

std::string rejected(const std::string& reason) {
    return reason == "thread_turn_limit" ? turnLimit : retry;
}

}  // namespace parlendo::AITalkText
