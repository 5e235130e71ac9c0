#pragma once

#include "account/AccountRemoval.h"
#include "auth/AccountTypes.h"
#include "capture/DetectControl.h"
#include "manage/BridgeRoutes.h"

#include <memory>

namespace parlendo {

// The manage page's calls that delete the account, clean this computer up after a deletion,
// send the sign-up confirmation mail again and reset the login state here. Keeps no state; every
// handler runs on the main executor and completes there.
class AccountRoutes final : public BridgeRoutes {
  public:
    AccountRoutes(std::shared_ptr<AccountRemoval> removal, std::shared_ptr<AccountEntry> account,
                  DetectControl detect);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<AccountRemoval> removal_;
    std::shared_ptr<AccountEntry> account_;
    DetectControl detect_;
};

}  // namespace parlendo
