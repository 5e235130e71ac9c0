#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The registry of what each feature keeps on this computer for one user: named forgetters that
// erase one user's local data and answer whether they succeeded. Features register theirs at
// start; account deletion and the clean-up of this computer's data run them all. Nothing is ever
// unregistered. Thread-safe: the lock guards only the list, forgetters run outside it.
class AccountLocalData {
  public:
    using Forget = std::function<bool(const std::string& userID)>;

    // The process-wide registry.
    static AccountLocalData& shared();

    // `on`: where the forgetter runs, when the feature changes its files on an executor of its
    // own: there it comes after the changes queued before it, which would otherwise bring back
    // what it removed. None, or once that executor is gone (the registry does not keep it):
    // wherever the forgetting runs.
    void registerForgetter(std::string name, Forget forget, ExecutorPtr on = nullptr);

    // Runs every forgetter in registration order, one after the other (all of them, even after one
    // fails), each on its own executor, else on `files` (none: at once on the calling thread),
    // and logs each outcome. `done` gets the AND of their answers, nothing when none is
    // registered, on the thread of the last forgetter.
    void forget(std::string userID, ExecutorPtr files, Completion<void(std::optional<bool>)> done);

    // The registered names, in order.
    std::vector<std::string> names() const;

  private:
    struct Entry {
        std::string name;
        Forget forget;
        std::weak_ptr<Executor> on;
    };
    struct Run;
    // Runs the next forgetter of `run` where it belongs, or ends the run.
    static void step(std::shared_ptr<Run> run);

    mutable std::mutex mutex_;
    std::vector<Entry> forgetters_;
};

}  // namespace parlendo
