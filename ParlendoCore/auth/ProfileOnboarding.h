#pragma once

#include "auth/AccountTypes.h"
#include "auth/ProfileStore.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// Brings a signed-in account to a username profile: reads it, creates it with the name given at
// sign-up or one derived from the e-mail address, and says when the user must pick another name.
// Completions run where the store and the account complete.
struct ProfileOnboarding {
    std::shared_ptr<AccountEntry> account;
    std::shared_ptr<ProfileStore> profiles;

    void settle(Completion<void(Result<ProfileState, CallFailure>)> completion) const;
    // Never fails: a refused name asks for another.
    void create(const std::string& username, Completion<void(ProfileState)> completion) const;
    void fillIn(const ProfileState& state, const std::optional<std::string>& email,
                Completion<void(ProfileState)> completion) const;
    // True when the account ends with a profile.
    void ensureReady(const std::optional<std::string>& email,
                     Completion<void(bool)> completion) const;

    // The first non-empty piece of the address split at "@"; "user" when there is none.
    static std::string localPart(const std::optional<std::string>& email);
};

// The Korean texts of failed auth-endpoint and profile requests.
namespace AccountMessages {

std::string authEndpoint(const std::string& message, int code);
std::string profileFailure(const CallFailure& error);

}  // namespace AccountMessages
}  // namespace parlendo
