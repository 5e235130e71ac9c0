#pragma once

#include "foundation/Completion.h"
#include "foundation/Function.h"
#include "foundation/KeychainCall.h"
#include "server/AuthTypes.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace parlendo {

// The write of a recovery link's token over the stored login, asked on the store's queue by an
// adoption that waits for it only until the call's deadline. The write and the deadline race and
// the first decides, under one lock: a write given up on before its turn is not made, and one
// that ends after the adoption gave up is undone in the same keychain step (the login it
// replaced put back), so no later step comes between them and a failed adoption never leaves the
// link's login stored.
class RecoveryTokenWrite {
  public:
    struct Outcome {
        bool saved = false;
        // The login the write replaced.
        std::optional<std::string> previous;
    };

    // Writes `token` through `call`; `previous`, run on the queue just before, gives the login
    // it replaces. `done` receives the outcome, or none when the store did not answer in time,
    // on the thread that decided (the queue's or the timers').
    static void run(const KeychainCall& call, std::shared_ptr<SessionStore> store,
                    std::string token, UniqueFunction<std::optional<std::string>()> previous,
                    Completion<void(std::optional<Outcome>)> done);

    // Puts `previous` back as the stored login (none: clears it); true when the store took it.
    static bool putBack(SessionStore& store, const std::optional<std::string>& previous);

  private:
    bool givenUp();
    // False when the adoption gave up first.
    bool end(const Outcome& outcome);
    // At the deadline: the write's outcome when it ended just before, else none from now on.
    std::optional<Outcome> giveUp();

    std::mutex mutex_;
    bool givenUp_ = false;
    std::optional<Outcome> ended_;
};

}  // namespace parlendo
