#pragma once

#include "foundation/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace parlendo::testing {

// Records every log line written while it lives.
class LogLines {
  public:
    LogLines() {
        Log::setTap([this](const std::string& tag, const std::string& message) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(tag, message);
        });
    }
    ~LogLines() { Log::setTap(nullptr); }

    // The messages written under `tag`, in order.
    std::vector<std::string> tagged(const std::string& tag) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& [t, m] : lines_) {
            if (t == tag) {
                out.push_back(m);
            }
        }
        return out;
    }
    bool has(const std::string& tag, const std::string& message) const {
        const auto lines = tagged(tag);
        return std::find(lines.begin(), lines.end(), message) != lines.end();
    }
    // The first message under `tag` that starts with `prefix`, or "".
    std::string startingWith(const std::string& tag, const std::string& prefix) const {
        for (const auto& m : tagged(tag)) {
            if (m.rfind(prefix, 0) == 0) {
                return m;
            }
        }
        return "";
    }
    size_t size() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace parlendo::testing
