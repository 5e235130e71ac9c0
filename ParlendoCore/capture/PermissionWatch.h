#pragma once

#include <optional>

namespace parlendo {

// The accessibility trust seen at the last look; reports only changes, so that periodic and
// notification-driven checks react once per loss or return of the permission.
struct PermissionWatch {
    enum class Change { lost, restored };

    explicit PermissionWatch(bool trusted_) : trusted(trusted_) {}

    // None when unchanged; otherwise stores the new trust and says which way it went.
    std::optional<Change> observe(bool nowTrusted) {
        if (nowTrusted == trusted) {
            return std::nullopt;
        }
        trusted = nowTrusted;
        return nowTrusted ? Change::restored : Change::lost;
    }

    bool trusted;
};

}  // namespace parlendo
