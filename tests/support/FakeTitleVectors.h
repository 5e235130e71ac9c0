#pragma once

#include "lookup/TitleVectorUploader.h"

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo::testing {

// Records every title-vector request. Thread-safe.
class FakeTitleVectors final : public TitleVectorRequesting {
  public:
    using Request = std::pair<std::optional<std::string>, std::optional<std::string>>;

    void request(std::optional<std::string> titleKey,
                 std::optional<std::string> sourceID) override {
        std::lock_guard lock(mutex_);
        requests_.emplace_back(std::move(titleKey), std::move(sourceID));
    }
    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

}  // namespace parlendo::testing
