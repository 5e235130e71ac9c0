#pragma once

#include "auth/AuthTypes.h"

#include <mutex>
#include <optional>
#include <string>

namespace parlendo::testing {

// The signed-in user, switched by the test. Thread-safe.
class FakeSessionProvider final : public SessionProviding {
  public:
    explicit FakeSessionProvider(std::optional<std::string> user = "user-1")
        : user_(std::move(user)) {}

    bool isLoggedIn() const override { return userID().has_value(); }
    std::optional<std::string> email() const override { return std::nullopt; }
    std::optional<std::string> userID() const override {
        std::lock_guard lock(mutex_);
        return user_;
    }
    void signIn(std::optional<std::string> user) {
        std::lock_guard lock(mutex_);
        user_ = std::move(user);
    }
    void signOut() { signIn(std::nullopt); }

  private:
    mutable std::mutex mutex_;
    std::optional<std::string> user_;
};

}  // namespace parlendo::testing
