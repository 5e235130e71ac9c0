#include "manage/BridgeRoutes.h"

namespace parlendo {

std::map<std::string, BridgeEntry> BridgeRoutes::notYet(const std::vector<std::string>& names) {
    std::map<std::string, BridgeEntry> table;
    for (const auto& name : names) {
        table.emplace(name, BridgeEntry::notYet());
    }
    return table;
}

}  // namespace parlendo
