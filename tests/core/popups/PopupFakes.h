#pragma once

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "foundation/Log.h"

#include <unistd.h>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Collects the log lines written while it lives; the log file goes to a temporary folder.
class LogLines {
  public:
    LogLines() : state_(std::make_shared<State>()) {
        Log::setDirectory(std::filesystem::temp_directory_path() /
                          ("parlendo-popups-log-" + std::to_string(::getpid())));
        Log::setTap([state = state_](const std::string& tag, const std::string& message) {
            std::lock_guard lock(state->mutex);
            state->lines.push_back({tag, message});
        });
    }
    ~LogLines() {
        Log::setTap(nullptr);
        Log::flush();
    }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    // The messages of one tag, in order.
    std::vector<std::string> tagged(const std::string& tag) const {
        std::lock_guard lock(state_->mutex);
        std::vector<std::string> out;
        for (const auto& [lineTag, message] : state_->lines) {
            if (lineTag == tag) {
                out.push_back(message);
            }
        }
        return out;
    }

  private:
    struct State {
        std::mutex mutex;
        std::vector<std::pair<std::string, std::string>> lines;
    };
    std::shared_ptr<State> state_;
};

}  // namespace parlendo::testing
