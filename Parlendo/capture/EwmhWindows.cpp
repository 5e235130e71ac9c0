#include "capture/EwmhWindows.h"

#include "saving/CaptureSnapshot.h"

namespace parlendo {

EwmhWindows::EwmhWindows(std::shared_ptr<DesktopApps> apps) : apps_(std::move(apps)) {}

WindowIdentity EwmhWindows::identity(const RunningApplication& app) {
    std::optional<std::string> title;
    const auto& windows = apps_->windows();
    if (const auto active = windows->activeWindow();
        active && windows->pid(*active) == std::optional<std::int32_t>(app.pid)) {
        title = windows->title(*active);
    }
    return WindowIdentity{app.pid, app.bundleID.value_or("?"), std::move(title)};
}

std::optional<RunningApplication> EwmhWindows::frontmost() {
    return apps_->front();
}

std::optional<WindowIdentity> EwmhWindows::frontWindow() {
    const auto& windows = apps_->windows();
    const auto active = windows->activeWindow();
    if (!active) {
        return std::nullopt;
    }
    const auto app = apps_->application(*active);
    return WindowIdentity{app.pid, app.bundleID.value_or("?"), windows->title(*active)};
}

std::optional<CopyKeys> EwmhWindows::frontCopyKeys() {
    const auto active = apps_->windows()->activeWindow();
    if (!active) {
        return std::nullopt;
    }
    return apps_->copyKeys(*active);
}

}  // namespace parlendo
