#pragma once

#include "foundation/Executor.h"
#include "manage/BridgeRoutes.h"
#include "popups/ConnectionSettings.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's calls for the optional AI key: "credential_status",
// "set_optional_credentials" and "remove_optional_credentials". Handlers are called on the main
// executor. The keychain is asked on `keychain` (a serial queue), never on the caller's thread:
// a keyring that stops answering would hold that thread for as long as its bus waits. When the
// keychain has not answered after `deadline` seconds the page is told so (the work runs on and
// its outcome shows in the next status). Without a `keychain` executor the calls are answered at
// once on the caller's thread.
class ConnectionRoutes final : public BridgeRoutes {
  public:
    static constexpr double keychainDeadline = 5.0;
    // The page's code for a keychain that did not answer in time.
    static constexpr const char* notAnswering = "CREDENTIAL_STORE_NOT_ANSWERING";

    explicit ConnectionRoutes(std::shared_ptr<ConnectionSettings> connection,
                              ExecutorPtr keychain = nullptr, ExecutorPtr timers = nullptr,
                              double deadline = keychainDeadline);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<ConnectionSettings> connection_;
    ExecutorPtr keychain_;
    ExecutorPtr timers_;
    double deadline_;
};

}  // namespace parlendo
