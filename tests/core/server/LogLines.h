#pragma once

#include "foundation/Log.h"

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace parlendo::testing {

// Collects the log lines written while it lives, and keeps the log file in a temporary folder.
class LogLines {
  public:
    LogLines() : state_(std::make_shared<State>()) {
        dir_ = std::filesystem::temp_directory_path() /
               ("parlendo-server-log-" + std::to_string(::getpid()));
        Log::setDirectory(dir_);
        Log::setTap([state = state_](const std::string& tag, const std::string& message) {
            std::lock_guard lock(state->mutex);
            state->lines.push_back(tag + " " + message);
        });
    }
    ~LogLines() {
        Log::setTap(nullptr);
        Log::flush();
    }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    // Every line as "<tag> <message>".
    std::vector<std::string> all() const {
        std::lock_guard lock(state_->mutex);
        return state_->lines;
    }
    // The lines of one tag (messages only).
    std::vector<std::string> tagged(const std::string& tag) const {
        std::vector<std::string> out;
        for (const auto& line : all()) {
            if (line.rfind(tag + " ", 0) == 0) {
                out.push_back(line.substr(tag.size() + 1));
            }
        }
        return out;
    }
    size_t count(const std::string& tag, const std::string& fragment) const {
        auto lines = tagged(tag);
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(fragment) != std::string::npos;
        }));
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
    std::filesystem::path dir_;
};

}  // namespace parlendo::testing
