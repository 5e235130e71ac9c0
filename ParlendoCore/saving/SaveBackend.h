#pragma once

#include "foundation/Completion.h"
#include "saving/SaveWork.h"
#include "server/ServerCalling.h"

namespace parlendo {

// The HTTP side of word saving that the word save queue drives. It reports what happened and
// makes no decision about retries. Both calls return at once; the completion runs later, exactly
// once, on a background thread. Called from any thread.
class SaveBackend {
  public:
    virtual ~SaveBackend() = default;

    // One snapshot call: the raw answer body, or the failure.
    virtual void snapshot(SaveWork work, Completion<void(CallResult)> completion) = 0;
    // One save over the two-request path: whether the word row was written (or already existed).
    virtual void legacy(SaveWork work, Completion<void(bool)> completion) = 0;
    // Whether `owner` is the account signed in now. A save goes out only for the account it was
    // captured under.
    virtual bool signedIn(const std::string& owner) const = 0;
};

}  // namespace parlendo
