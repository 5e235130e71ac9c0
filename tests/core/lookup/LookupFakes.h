#pragma once

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "foundation/Log.h"

#include <unistd.h>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Collects the log lines of one tag while it lives; the log file goes to a temporary folder.
class TagLog {
  public:
    explicit TagLog(std::string tag) : state_(std::make_shared<State>()) {
        Log::setDirectory(std::filesystem::temp_directory_path() /
                          ("parlendo-lookup-log-" + std::to_string(::getpid())));
        Log::setTap([state = state_, tag = std::move(tag)](const std::string& t,
                                                           const std::string& message) {
            if (t == tag) {
                std::lock_guard lock(state->mutex);
                state->lines.push_back(message);
            }
        });
    }
    ~TagLog() { Log::setTap(nullptr); }
    TagLog(const TagLog&) = delete;
    TagLog& operator=(const TagLog&) = delete;

    std::vector<std::string> lines() const {
        std::lock_guard lock(state_->mutex);
        return state_->lines;
    }
    void clear() {
        std::lock_guard lock(state_->mutex);
        state_->lines.clear();
    }

  private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<State> state_;
};

}  // namespace parlendo::testing
