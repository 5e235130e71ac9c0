#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace parlendo {

// Gives a user who has no popup settings at all the two default rows, at most once per user id in
// a run. It wraps a read of the user's `assistants` rows and returns them, read again after
// seeding. One shared instance serves every path that lists popup settings, so they share the set
// of users already checked. May be called from any thread; completions run where the server
// client delivers.
class DefaultPopupSeeder : public std::enable_shared_from_this<DefaultPopupSeeder> {
  public:
    struct Seeded {
        std::vector<Json> rows;
        bool seeded = false;
    };
    using SeedResult = Result<Seeded, CallFailure>;
    // Reads the user's rows; may be called twice by one `ensure`.
    using Read = std::function<void(Completion<void(RowsResult)>)>;
    // Told "seed" after a successful seeding.
    using Changed = std::function<void(const std::string& reason)>;

    static std::shared_ptr<DefaultPopupSeeder> make(std::shared_ptr<ServerCalling> server,
                                                    std::shared_ptr<SessionProviding> session,
                                                    Changed changed = announceChange());

    // Posts ManageSignals::popupSettingsChanged with the reason.
    static Changed announceChange();

    // The user's rows, seeding the defaults first when the user has none and has not been checked
    // in this run. Fails with authRequired when nobody is signed in; read failures pass on.
    void ensure(Read read, Completion<void(SeedResult)> completion);

  private:
    DefaultPopupSeeder(std::shared_ptr<ServerCalling> server,
                       std::shared_ptr<SessionProviding> session, Changed changed);

    void insertDefaults(const std::string& userID, Read read,
                        Completion<void(SeedResult)> completion);

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    Changed changed_;
    std::mutex mutex_;
    std::set<std::string> checked_;  // never cleared while the process runs
};

}  // namespace parlendo
