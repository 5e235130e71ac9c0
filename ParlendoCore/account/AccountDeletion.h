#pragma once

#include "account/AccountRemoval.h"
#include "account/DeleteAnswer.h"
#include "account/DeletePendingStore.h"
#include "auth/AccountLocalData.h"
#include "auth/AccountSession.h"
#include "auth/AuthRuntime.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The three removal flows over the account session:
// - delete: asks the server to delete the signed-in account (one session refresh and one retry
//   when the server says the login is not valid), keeps the pending-deletion record in step with
//   the answer and, once the server confirms, wipes what this computer keeps for the user;
// - settle: after a deletion whose answer never came, when the server has since refused the
//   stored login, wipes what is kept for every pending user;
// - reset: signs out and forgets the stored login, leaving the server account alone.
// It watches the session: a refused login while a deletion is pending makes the clean-up
// offerable; an accepted login proves no deletion happened and clears the record.
// An answer acts only on the account it was asked for: when someone else signed in before it
// came, the record and local files of the asked-for user are still settled, but the session, the
// optional key and the other users' records are left alone, no retry goes out under another
// login, and the flow fails with the stale-completion code. A confirmed deletion whose session
// was merely lost meanwhile (nobody, or the same account again, signed in) is settled in full.
// The flows hop to the main executor first and complete there. `cleanupOffered` and the session
// callbacks may run on any thread (the offer's flag is guarded by a lock).
class AccountDeletion final : public AccountRemoval,
                              public std::enable_shared_from_this<AccountDeletion> {
  public:
    struct Services {
        std::shared_ptr<AccountSession> account;
        std::shared_ptr<AuthRuntime> auth;
        std::shared_ptr<AccountDeleteRequesting> requester;
        std::shared_ptr<DeletePendingStore> pending;
        // The forgetters of per-user files (the process-wide registry when none).
        AccountLocalData* localData = nullptr;
        // Removes the stored optional AI key; true when it is known to be gone (a keychain that
        // does not answer in time gives false).
        std::function<void(Completion<void(bool)>)> dropOptionalKey;
        ExecutorPtr main;
        // Measures how long a deletion took (the system's clock when none).
        std::shared_ptr<MonotonicClock> clock;
        // Where the forgetters run, those registered with an executor of their own aside: they
        // remove and rewrite files, which a busy disk holds for a long while (none: on the main
        // executor).
        ExecutorPtr files = nullptr;
    };

    // Builds the deletion and puts its two watchers into the account session's slots.
    static std::shared_ptr<AccountDeletion> make(Services services);

    bool cleanupOffered() override;
    void deleteAccount(const std::string& password, StopWork stopWork,
                       Completion<void(RemovalResult)> completion) override;
    void settle(StopWork stopWork, Completion<void(RemovalResult)> completion) override;
    void resetLocalState(StopWork stopWork, Completion<void(RemovalResult)> completion) override;

    // The error a flow fails with: the code with its message.
    static AccountError error(const char* code);
    // The error of a final answer other than `deleted`.
    static AccountError error(DeleteAnswer answer);

  private:
    explicit AccountDeletion(Services services);
    void installWatchers();
    void startDelete(const std::string& password, StopWork stopWork,
                     Completion<void(RemovalResult)> completion);
    void answered(DeleteAnswer answer, const AuthContext& asked, const std::string& password,
                  double started, StopWork stopWork, Completion<void(RemovalResult)> completion);
    void retryAfterRefresh(const AuthContext& asked, const std::string& password, double started,
                           StopWork stopWork, Completion<void(RemovalResult)> completion);
    void finishDelete(DeleteAnswer answer, const AuthContext& asked, double started,
                      StopWork stopWork, Completion<void(RemovalResult)> completion);
    // Settles a confirmed deletion that came after the asked-for session had gone.
    void finishElsewhere(const std::string& userID, long long ms,
                         Completion<void(RemovalResult)> completion);
    // Another session than the asked-for one is signed in now.
    bool heldByAnother(const AuthContext& asked) const;
    // Another account than the asked-for one is signed in now.
    bool heldByAnotherUser(const AuthContext& asked) const;
    static void notRetried(Completion<void(RemovalResult)> completion);
    // The record of a final answer: kept while unanswered, dropped once the server answered.
    void record(DeleteAnswer answer, const std::string& userID);
    void wipe(std::vector<std::string> users, StopWork stopWork, bool inferred,
              Completion<void(RemovalResult)> completion);
    void signOutAfterWipe(size_t count, bool inferred, bool workStopped, std::optional<bool> local,
                          Completion<void(RemovalResult)> completion);
    // Runs the forgetters of each user's files, one user after the other, on `files` or where a
    // forgetter asked to run, then calls `then` on the main executor with the AND of their
    // answers (nothing when none is registered).
    void forget(std::vector<std::string> users,
                UniqueFunction<void(std::optional<bool> local)> then);
    struct Forgetting {
        std::vector<std::string> users;
        size_t next = 0;
        std::optional<bool> local;
        UniqueFunction<void(std::optional<bool> local)> then;
    };
    void forgetNext(std::shared_ptr<Forgetting> forgetting);
    void setRefused(bool refused);
    // Removes the optional key, then calls `then` on the main executor with whether it is gone.
    void dropKey(UniqueFunction<void(bool removed)> then);
    // A completion that runs `f` on the main executor, keeping this deletion alive until then.
    template <class Arg, class F>
    Completion<void(Arg)> onMain(F f);

    Services services_;
    std::mutex mutex_;
    bool refused_ = false;
};

}  // namespace parlendo
