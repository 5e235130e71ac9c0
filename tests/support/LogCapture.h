#pragma once

#include "foundation/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace parlendo::testing {

// Collects the log lines written while it lives (tag and message). Thread-safe.
class LogCapture {
  public:
    LogCapture() {
        Log::setTap([this](const std::string& tag, const std::string& message) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(tag, message);
        });
    }
    ~LogCapture() { Log::setTap(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> messages(const std::string& tag) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& [t, m] : lines_) {
            if (t == tag) {
                out.push_back(m);
            }
        }
        return out;
    }
    bool contains(const std::string& tag, const std::string& part) const {
        auto lines = messages(tag);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    }
    std::string all() const {
        std::lock_guard lock(mutex_);
        std::string out;
        for (const auto& [t, m] : lines_) {
            out += "[" + t + "] " + m + "\n";
        }
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace parlendo::testing
