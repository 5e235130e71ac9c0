#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Announces a change of the signed-in account to every part that keeps per-user state in memory.
// Each part registers a named clearer once; when the observed account id changes, every clearer
// runs in registration order with the new id, outside the lock, on the caller's thread.
// Thread-safe.
class AccountScope {
  public:
    using Clearer = std::function<void(const std::optional<std::string>& userID)>;

    AccountScope() = default;

    void onAccountChange(std::string name, Clearer clear);

    // True when the owner changed and the clearers ran.
    bool observe(const std::optional<std::string>& userID);

  private:
    struct Entry {
        std::string name;
        Clearer clear;
    };
    std::mutex mutex_;
    std::vector<Entry> clearers_;
    std::optional<std::string> owner_;
};

}  // namespace parlendo
