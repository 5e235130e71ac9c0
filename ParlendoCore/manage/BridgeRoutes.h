#pragma once

#include "manage/BridgeTypes.h"

#include <map>
#include <string>
#include <vector>

namespace parlendo {

// A group of manage-page calls. The router joins every group's routes into one table; call names
// are unique across groups. Read on the main executor.
class BridgeRoutes {
  public:
    virtual ~BridgeRoutes() = default;
    virtual std::map<std::string, BridgeEntry> routes() const = 0;
    // How the router logs some of the group's calls; none by default.
    virtual std::map<std::string, BridgeLogMode> logModes() const { return {}; }

    // Every name as `notYet`: the table of a group whose service is absent.
    static std::map<std::string, BridgeEntry> notYet(const std::vector<std::string>& names);
};

}  // namespace parlendo
