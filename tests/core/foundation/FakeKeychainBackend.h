#pragma once

#include "foundation/KeychainWrite.h"

#include <map>
#include <mutex>
#include <string>

namespace parlendo::testing {

// A keychain store in memory ("<service>/<account>" → bytes) whose writes can fail loudly or
// "succeed" without taking effect, and whose reads can fail as a store that does not answer.
// The test reads and sets the members directly while no other thread uses the store.
class FakeKeychainBackend final : public KeychainBackend {
  public:
    Result<std::string, std::int32_t> read(const std::string& service,
                                           const std::string& account) override {
        std::lock_guard lock(mutex);
        if (readStatus != 0) {
            return fail(readStatus);
        }
        const auto it = items.find(service + "/" + account);
        if (it == items.end()) {
            return fail(KeychainStatus::itemNotFound);
        }
        return it->second;
    }
    std::int32_t update(const std::string& service, const std::string& account,
                        const std::string& data) override {
        std::lock_guard lock(mutex);
        const auto it = items.find(service + "/" + account);
        if (it == items.end()) {
            return KeychainStatus::itemNotFound;
        }
        if (writeStatus == 0 && !silentlyIgnoreWrites) {
            it->second = data;
        }
        return writeStatus;
    }
    std::int32_t add(const std::string& service, const std::string& account,
                     const std::string& data) override {
        std::lock_guard lock(mutex);
        if (writeStatus == 0 && !silentlyIgnoreWrites) {
            items[service + "/" + account] = data;
        }
        return writeStatus;
    }
    std::int32_t remove(const std::string& service, const std::string& account) override {
        std::lock_guard lock(mutex);
        if (writeStatus != 0) {
            return writeStatus;
        }
        if (silentlyIgnoreWrites) {
            return 0;
        }
        return items.erase(service + "/" + account) ? 0 : KeychainStatus::itemNotFound;
    }
    std::string name() const override { return "fake"; }

    std::mutex mutex;
    std::map<std::string, std::string> items;
    std::int32_t writeStatus = 0;
    std::int32_t readStatus = 0;
    bool silentlyIgnoreWrites = false;
};

}  // namespace parlendo::testing
