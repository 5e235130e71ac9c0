#pragma once

#include "server/AuthTypes.h"

#include <mutex>
#include <optional>
#include <string>

namespace parlendo::testing {

// A refresh-token store in memory whose save and clear can be made to fail. Thread-safe.
class FakeSessionStore final : public SessionStore {
  public:
    explicit FakeSessionStore(std::optional<std::string> token = std::nullopt)
        : token_(std::move(token)) {}

    std::optional<std::string> loadRefreshToken() override {
        std::lock_guard lock(mutex_);
        ++loads_;
        return token_;
    }
    bool save(const std::string& refreshToken) override {
        std::lock_guard lock(mutex_);
        ++saves_;
        if (!saveWorks_) {
            return false;
        }
        token_ = refreshToken;
        return true;
    }
    bool clear() override {
        std::lock_guard lock(mutex_);
        ++clears_;
        if (!clearWorks_) {
            return false;
        }
        token_.reset();
        return true;
    }

    std::optional<std::string> token() const {
        std::lock_guard lock(mutex_);
        return token_;
    }
    void setToken(std::optional<std::string> token) {
        std::lock_guard lock(mutex_);
        token_ = std::move(token);
    }
    void setSaveWorks(bool works) {
        std::lock_guard lock(mutex_);
        saveWorks_ = works;
    }
    void setClearWorks(bool works) {
        std::lock_guard lock(mutex_);
        clearWorks_ = works;
    }
    int loads() const {
        std::lock_guard lock(mutex_);
        return loads_;
    }
    int saves() const {
        std::lock_guard lock(mutex_);
        return saves_;
    }
    int clears() const {
        std::lock_guard lock(mutex_);
        return clears_;
    }

  private:
    mutable std::mutex mutex_;
    std::optional<std::string> token_;
    bool saveWorks_ = true;
    bool clearWorks_ = true;
    int loads_ = 0;
    int saves_ = 0;
    int clears_ = 0;
};

}  // namespace parlendo::testing
