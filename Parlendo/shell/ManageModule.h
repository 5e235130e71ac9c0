#pragma once

#include "manage/ManageCoordinator.h"
#include "shell/AppEnvironment.h"
#include "shell/FeatureModule.h"

#include <memory>

namespace parlendo {

// The manage coordinator as the shell's feature module: built over the environment, its start
// also makes it the environment's way to open the manage window, and it offers the
// "관리 창 열기…" item among the status menu's actions. Main thread.
class ManageModule final : public FeatureModule {
  public:
    ManageModule(std::shared_ptr<AppEnvironment> env, ManageServices services = {});

    void start() override;
    BridgeRouteGroups bridgeRoutes() const override { return coordinator_->bridgeRoutes(); }
    MenuItems menu() const override;
    void refreshMenu() override {}

    const std::shared_ptr<ManageCoordinator>& coordinator() const { return coordinator_; }

    // The manage module's services drawn from the environment; the others as given.
    static ManageServices services(const AppEnvironment& env, ManageServices given);

  private:
    std::shared_ptr<AppEnvironment> env_;
    std::shared_ptr<ManageCoordinator> coordinator_;
    MenuItemPtr openItem_;
    bool started_ = false;
};

}  // namespace parlendo
