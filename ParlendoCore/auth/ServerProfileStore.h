#pragma once

#include "auth/ProfileStore.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <memory>

namespace parlendo {

// The `profiles` row of the signed-in account, read and written through the server client.
class ServerProfileStore final : public ProfileStore {
  public:
    ServerProfileStore(std::shared_ptr<ServerCalling> server,
                       std::shared_ptr<SessionProviding> session);

    void username(
        Completion<void(Result<std::optional<std::string>, CallFailure>)> completion) override;
    void ensure(const std::string& username,
                Completion<void(Result<void, CallFailure>)> completion) override;

  private:
    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
};

}  // namespace parlendo
