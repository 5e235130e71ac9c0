#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The registry of what each feature keeps on this computer for one user: named forgetters that
// erase one user's local data and answer whether they succeeded. Features register theirs at
// start; account deletion and the clean-up of this computer's data run them all. Nothing is ever
// unregistered. Thread-safe: the lock guards only the list, forgetters run outside it on the
// caller's thread.
class AccountLocalData {
  public:
    using Forget = std::function<bool(const std::string& userID)>;

    // The process-wide registry.
    static AccountLocalData& shared();

    void registerForgetter(std::string name, Forget forget);

    // Runs every forgetter in registration order (all of them, even after one fails) and logs
    // each outcome; the AND of their answers, nothing when none is registered.
    std::optional<bool> forget(const std::string& userID);

    // The registered names, in order.
    std::vector<std::string> names() const;

  private:
    struct Entry {
        std::string name;
        Forget forget;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> forgetters_;
};

}  // namespace parlendo
