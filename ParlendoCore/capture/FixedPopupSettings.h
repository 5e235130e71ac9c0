#pragma once

#include "popups/PopupSetting.h"

#include <mutex>
#include <vector>

namespace parlendo {

// A provider of a fixed list of popup settings, interchangeable with the live one (tests, tools).
// Called from any thread.
class FixedPopupSettings final : public PopupSettingsProviding {
  public:
    explicit FixedPopupSettings(std::vector<PopupSetting> current) : current_(std::move(current)) {}

    std::vector<PopupSetting> current() const override {
        std::lock_guard lock(mutex_);
        return current_;
    }
    void setCurrent(std::vector<PopupSetting> current) {
        std::lock_guard lock(mutex_);
        current_ = std::move(current);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<PopupSetting> current_;
};

}  // namespace parlendo
