#pragma once

#include "capture/AccessibleNode.h"
#include "capture/DesktopApps.h"

#include <memory>

namespace parlendo {

// The window side of the capture reads over the window manager's hints: the front application
// and the identity (process, application id, title) of an application's focused window.
// Thread-safe.
class EwmhWindows final : public WindowPort {
  public:
    explicit EwmhWindows(std::shared_ptr<DesktopApps> apps);

    // The identity of the active window when it belongs to `app`; else the application alone.
    WindowIdentity identity(const RunningApplication& app) override;
    std::optional<RunningApplication> frontmost() override;

    // The identity of the active window, whoever it belongs to.
    std::optional<WindowIdentity> frontWindow();
    // The keys that copy in the active window; none when no window is known to be active.
    std::optional<CopyKeys> frontCopyKeys();

    const std::shared_ptr<DesktopApps>& apps() const { return apps_; }

  private:
    std::shared_ptr<DesktopApps> apps_;
};

}  // namespace parlendo
