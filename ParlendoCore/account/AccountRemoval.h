#pragma once

#include "auth/AccountError.h"
#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"

#include <functional>
#include <string>

namespace parlendo {

// Stops background work before the session goes and says whether it stopped; empty when there is
// nothing to stop.
using StopWork = std::function<bool()>;

// What a removal flow hands back to the manage page: the result object of a wipe or a reset.
using RemovalResult = Result<Json, AccountError>;

// Deleting the account, cleaning this computer up after a deletion that could only be inferred,
// and resetting the login state here. Called on the main executor; completions run there.
class AccountRemoval {
  public:
    virtual ~AccountRemoval() = default;
    // A deletion seems to have happened and nobody is signed in: the clean-up may be offered.
    virtual bool cleanupOffered() = 0;
    virtual void deleteAccount(const std::string& password, StopWork stopWork,
                               Completion<void(RemovalResult)> completion) = 0;
    virtual void settle(StopWork stopWork, Completion<void(RemovalResult)> completion) = 0;
    virtual void resetLocalState(StopWork stopWork, Completion<void(RemovalResult)> completion) = 0;
};

}  // namespace parlendo
