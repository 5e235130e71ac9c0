#pragma once

#include "foundation/Executor.h"
#include "manage/BridgeRoutes.h"
#include "manage/ManageContract.h"
#include "popups/PopupDraftService.h"
#include "popups/PopupSettingsStore.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's calls that edit the user's popup settings ("toggle_assistant",
// "delete_assistant", "update_assistant", "save_assistant") and draft a custom popup
// ("propose_custom"). Handlers run on the main executor and reply there: when `main` is given, an
// answer that arrives on another thread (the draft service's) is handed back to it.
class PopupSettingsRoutes final : public BridgeRoutes {
  public:
    PopupSettingsRoutes(std::shared_ptr<PopupSettingsStore> store,
                        std::shared_ptr<PopupDraftService> draft, ExecutorPtr main = nullptr);

    std::map<std::string, BridgeEntry> routes() const override;

    // A store failure as the write wrapper takes it.
    static ManageContract::WriteError writeError(const PopupStoreError& error);

  private:
    std::shared_ptr<PopupSettingsStore> store_;
    std::shared_ptr<PopupDraftService> draft_;
    ExecutorPtr main_;
};

}  // namespace parlendo
