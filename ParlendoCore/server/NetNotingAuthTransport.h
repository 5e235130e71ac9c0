#pragma once

#include "server/AuthTypes.h"
#include "server/NetState.h"

#include <memory>

namespace parlendo {

// Wraps the auth transport so that answers of the auth service mark the network usable.
// Adds no threads: completions run wherever the inner transport completes.
class NetNotingAuthTransport final : public AuthTransport {
  public:
    NetNotingAuthTransport(std::shared_ptr<AuthTransport> inner, std::shared_ptr<NetState> net);

    void signIn(const std::string& email, const std::string& password,
                Completion<void(AuthSessionResult)> completion) override;
    void signUp(
        const std::string& email, const std::string& password,
        Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) override;
    void refresh(const std::string& refreshToken,
                 Completion<void(AuthSessionResult)> completion) override;
    void signOut(const std::string& accessToken, Completion<void(bool)> completion) override;

    // Whether a failure shows that the auth service answered.
    static bool answered(const AuthFailure& failure);

  private:
    std::shared_ptr<AuthTransport> inner_;
    std::shared_ptr<NetState> net_;
};

}  // namespace parlendo
