#include "capture/AccessibilityBoost.h"

#include <atomic>

namespace parlendo::AccessibilityBoost {

namespace {
std::atomic<bool> boostEnabled{true};
}

bool enabled() {
    return boostEnabled.load();
}

void setEnabled(bool enabled) {
    boostEnabled.store(enabled);
}

const std::vector<std::string>& chromiumApps() {
    static const std::vector<std::string> apps = {
        "com.google.Chrome",
        "org.chromium.Chromium",
        "com.microsoft.edgemac",
        "com.brave.Browser",
        "company.thebrowser.Browser",
        "com.vivaldi.Vivaldi",
        "com.naver.Whale",
        "com.operasoftware.Opera",
        // Linux desktop-file ids and the Flatpak ids not already above.
        "google-chrome",
        "google-chrome-beta",
        "google-chrome-unstable",
        "chromium",
        "chromium-browser",
        "microsoft-edge",
        "microsoft-edge-beta",
        "microsoft-edge-dev",
        "com.microsoft.Edge",
        "brave-browser",
        "brave-browser-beta",
        "brave-browser-nightly",
        "vivaldi-stable",
        "vivaldi-snapshot",
        "naver-whale",
        "opera",
        "com.opera.Opera",
    };
    return apps;
}

std::optional<std::string> attribute(const std::optional<std::string>& bundleID,
                                     bool hasElectronFramework) {
    if (!enabled()) {
        return std::nullopt;
    }
    if (bundleID) {
        const std::string& id = *bundleID;
        for (const auto& app : chromiumApps()) {
            if (id == app ||
                (id.size() > app.size() && id.starts_with(app) && id[app.size()] == '.')) {
                return std::string(chromiumAttribute);
            }
        }
    }
    if (hasElectronFramework) {
        return std::string(electronAttribute);
    }
    return std::nullopt;
}

}  // namespace parlendo::AccessibilityBoost
