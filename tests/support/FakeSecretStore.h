#pragma once

#include "popups/ConnectionSettings.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace parlendo::testing {

// Secrets in memory; writes or removals of chosen accounts can be made to fail silently, and
// reads of chosen accounts can fail as a store that does not answer.
// The store's own calls are thread-safe; the test reads and sets the members directly.
class FakeSecretStore final : public SecretStore {
  public:
    std::string backendName() const override { return "memory"; }
    Keychain::ItemRead lookup(const std::string& account) override {
        std::lock_guard lock(mutex_);
        if (failReads.count(account)) {
            return fail(KeychainStatus::notAvailable);
        }
        auto it = items.find(account);
        return it == items.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool write(const std::string& value, const std::string& account) override {
        std::lock_guard lock(mutex_);
        if (failWrites.count(account)) {
            return false;
        }
        items[account] = value;
        return true;
    }
    bool remove(const std::string& account) override {
        std::lock_guard lock(mutex_);
        if (failRemoves.count(account)) {
            return false;
        }
        items.erase(account);
        return true;
    }

    std::map<std::string, std::string> items;
    std::set<std::string> failWrites;
    std::set<std::string> failRemoves;
    // Accounts whose reads fail as a store that does not answer.
    std::set<std::string> failReads;

  private:
    std::mutex mutex_;
};

}  // namespace parlendo::testing
