#pragma once

#include "manage/BridgeRoutes.h"
#include "popups/ConnectionSettings.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's calls for the optional AI key: "credential_status",
// "set_optional_credentials" and "remove_optional_credentials". Handlers run on the main
// executor and answer at once.
class ConnectionRoutes final : public BridgeRoutes {
  public:
    explicit ConnectionRoutes(std::shared_ptr<ConnectionSettings> connection);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<ConnectionSettings> connection_;
};

}  // namespace parlendo
