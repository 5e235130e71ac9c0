#pragma once

#include "auth/AccountTypes.h"
#include "auth/ProfileOnboarding.h"
#include "capture/DetectControl.h"
#include "manage/BridgeRoutes.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The manage page's calls for the login state, sign-in, sign-up, the username and sign-out.
// Handlers run on the main executor and complete there (the account session completes on it).
class SessionRoutes final : public BridgeRoutes {
  public:
    // The pending offer to clean up this computer's data after an account deletion.
    struct CleanupOffer {
        std::function<bool()> isOffered;
        std::function<void()> present;
    };

    SessionRoutes(std::shared_ptr<AccountEntry> account, std::shared_ptr<ProfileStore> profiles,
                  DetectControl detect, CleanupOffer cleanup);

    std::map<std::string, BridgeEntry> routes() const override;

    // The reply of a failed sign-in or sign-up.
    static BridgeReply refused(const AccountError& error);
    static BridgeReply refused(const CallFailure& error);
    // The success data of a signed-in reply.
    static Json signedIn(const ProfileState& state, const std::optional<std::string>& email);

  private:
    struct Parts {
        std::shared_ptr<AccountEntry> account;
        std::shared_ptr<ProfileStore> profiles;
        DetectControl detect;
        CleanupOffer cleanup;
        ProfileOnboarding onboarding() const { return {account, profiles}; }
    };
    static void settled(const std::shared_ptr<Parts>& parts,
                        Completion<void(BridgeReply)> completion);
    static void login(const std::shared_ptr<Parts>& parts, Completion<void(BridgeReply)> done);
    static void signIn(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                       Completion<void(BridgeReply)> done);
    static void signUp(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                       Completion<void(BridgeReply)> done);
    static void setUsername(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                            Completion<void(BridgeReply)> done);
    static void signOut(const std::shared_ptr<Parts>& parts, Completion<void(BridgeReply)> done);

    std::shared_ptr<Parts> parts_;
};

}  // namespace parlendo
