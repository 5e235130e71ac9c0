#pragma once

#include "server/AuthTypes.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace parlendo::testing {

// A session whose signed-in user the test switches. Thread-safe.
class FakeSession final : public SessionProviding {
  public:
    explicit FakeSession(std::optional<std::string> user = "user-1") : user_(std::move(user)) {}

    bool isLoggedIn() const override { return userID().has_value(); }
    std::optional<std::string> email() const override { return std::nullopt; }
    std::optional<std::string> userID() const override {
        std::lock_guard lock(mutex_);
        ++reads_;
        if (onRead_) {
            onRead_(reads_, user_);
        }
        return user_;
    }

    void setUser(std::optional<std::string> user) {
        std::lock_guard lock(mutex_);
        user_ = std::move(user);
    }

    // Runs on every read with the read's number (from 1), before the user is answered; it may
    // change the user. It runs under the session's lock and must not call the session.
    using ReadHook = std::function<void(int read, std::optional<std::string>& user)>;
    void setOnRead(ReadHook hook) {
        std::lock_guard lock(mutex_);
        onRead_ = std::move(hook);
    }

  private:
    mutable std::mutex mutex_;
    mutable int reads_ = 0;
    mutable std::optional<std::string> user_;
    ReadHook onRead_;
};

}  // namespace parlendo::testing
