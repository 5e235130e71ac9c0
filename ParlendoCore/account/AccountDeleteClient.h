#pragma once

#include "account/DeleteAnswer.h"
#include "foundation/Clock.h"
#include "server/AuthTypes.h"
#include "server/ServerGate.h"
#include "server/ServerTransport.h"

#include <memory>
#include <string>

namespace parlendo {

// Asks the server's "delete-account" function to delete the signed-in account. The request is
// counted as an awaited operation of the signed-in session (so a sign-out or a quit waits for
// it), respects a block the server gate holds for the feature, and reports the server's contract
// answers to the gate. The request carries its own 30-second time-out. `request` may be called
// from any thread; it completes on the transport's thread.
class AccountDeleteClient final : public AccountDeleteRequesting {
  public:
    static constexpr double timeout = 30.0;
    static constexpr const char* path = "/functions/v1/delete-account";

    struct Services {
        std::shared_ptr<ServerTransport> transport;
        std::shared_ptr<AuthAccess> auth;
        std::string apiKey;
        std::string appVersion;
        // None: no block is replayed and no answer reported.
        std::shared_ptr<ServerGate> gate;
        // Wall time for reading the contract's retry dates (the system's clock when none).
        std::shared_ptr<WallClock> clock;
    };

    explicit AccountDeleteClient(Services services);

    void request(const std::string& password, Completion<void(DeleteAnswer)> completion) override;

    // The answer a server response stands for. No side effects.
    static DeleteAnswer answer(const ServerResponse& response);

  private:
    Services services_;
};

}  // namespace parlendo
