#pragma once

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "foundation/Executor.h"
#include "foundation/Log.h"

#include <unistd.h>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Collects the log lines written while it lives, and keeps the log file in a temporary folder.
class SavingLog {
  public:
    SavingLog() : state_(std::make_shared<State>()) {
        Log::setDirectory(std::filesystem::temp_directory_path() /
                          ("parlendo-saving-log-" + std::to_string(::getpid())));
        Log::setTap([state = state_](const std::string& tag, const std::string& message) {
            std::lock_guard lock(state->mutex);
            state->lines.push_back(tag + " " + message);
        });
    }
    ~SavingLog() {
        Log::setTap(nullptr);
        Log::flush();
    }
    SavingLog(const SavingLog&) = delete;
    SavingLog& operator=(const SavingLog&) = delete;

    // The messages of one tag, in order.
    std::vector<std::string> tagged(const std::string& tag) const {
        std::lock_guard lock(state_->mutex);
        std::vector<std::string> out;
        for (const auto& line : state_->lines) {
            if (line.rfind(tag + " ", 0) == 0) {
                out.push_back(line.substr(tag.size() + 1));
            }
        }
        return out;
    }
    bool contains(const std::string& tag, const std::string& fragment) const {
        for (const auto& line : tagged(tag)) {
            if (line.find(fragment) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

  private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<State> state_;
};

}  // namespace parlendo::testing
