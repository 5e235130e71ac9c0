#pragma once

#include "manage/BridgeRoutes.h"
#include "shell/MenuItems.h"

#include <memory>
#include <vector>

namespace parlendo {

// The route groups a module offers to the manage page, in the router's own form.
using BridgeRouteGroups = std::vector<std::shared_ptr<const BridgeRoutes>>;

// A feature of the application as the shell sees it: started once after every module exists,
// offering route groups to the manage page and items to the status menu. Main thread only.
class FeatureModule {
  public:
    virtual ~FeatureModule() = default;
    virtual void start() = 0;
    virtual BridgeRouteGroups bridgeRoutes() const = 0;
    virtual MenuItems menu() const = 0;
    // Brings the titles, states and visibility of the module's items up to date.
    virtual void refreshMenu() = 0;
    // Called just before the status menu opens.
    virtual void menuWillOpen() {}
};

}  // namespace parlendo
