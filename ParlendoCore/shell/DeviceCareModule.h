#pragma once

#include "shell/DeviceCare.h"
#include "shell/FeatureModule.h"
#include "shell/ShutdownGate.h"

#include <memory>

namespace parlendo {

// Device care as a feature module of its own, for a program without the account module (which
// otherwise carries device care's items and starts it): registers the relaunch helper as a
// termination task and starts the install checks, and offers the device and clean-up items.
// Main thread.
class DeviceCareModule final : public FeatureModule {
  public:
    static constexpr const char* relaunchTask = "다시 시작 도우미(요청했을 때만)";

    DeviceCareModule(std::shared_ptr<DeviceCare> care, std::shared_ptr<ShutdownGate> shutdown);

    void start() override;
    BridgeRouteGroups bridgeRoutes() const override { return {}; }
    MenuItems menu() const override { return care_->menu(); }
    void refreshMenu() override { care_->refreshMenu(); }

    const std::shared_ptr<DeviceCare>& care() const { return care_; }

  private:
    std::shared_ptr<DeviceCare> care_;
    std::shared_ptr<ShutdownGate> shutdown_;
    bool started_ = false;
};

}  // namespace parlendo
