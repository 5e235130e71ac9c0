#pragma once

#include "capture/CaptureRejections.h"
#include "foundation/Json.h"

#include <cstdint>
#include <optional>
#include <string>

namespace parlendo {

// Whether the lookup chord does anything: the user's switch, the three conditions capture needs
// (accessibility permission, a signed-in account, healthy capture machinery) and the counts of
// turned-away captures.
struct DetectState {
    bool enabled = false;
    bool permissionGranted = false;
    bool loggedIn = false;
    bool healthy = true;
    CaptureRejections rejections;

    // Detection could be switched on.
    bool ready() const { return permissionGranted && loggedIn; }
    // Captures are taken.
    bool watching() const { return enabled && permissionGranted && loggedIn && healthy; }
    // The first failing condition, in Korean; none while watching.
    std::optional<std::string> blocker() const;

    // The detection status reply of the manage page; `serverNotice` is added when present.
    Json manageStatus(std::int32_t pid, const std::optional<Json>& serverNotice) const;

    // 32 lowercase hex digits, made once per process.
    static const std::string& instance();

    bool operator==(const DetectState&) const = default;
};

}  // namespace parlendo
