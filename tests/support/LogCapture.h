#pragma once

#include "TestTree.h"
#include "foundation/Log.h"

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace parlendo::testing {

// Collects the log lines written while it lives (tag and message), on any thread. Meanwhile the
// log file goes to a temporary folder of this process, removed at the end, so tests never write
// to the user's log.
class LogCapture {
  public:
    LogCapture() : state_(std::make_shared<State>()) {
        Log::setDirectory(folder());
        Log::setTap([state = state_](const std::string& tag, const std::string& message) {
            std::lock_guard lock(state->mutex);
            state->lines.emplace_back(tag, message);
            if (state->watch) {
                state->watch(tag, message);
            }
        });
    }
    ~LogCapture() {
        Log::setTap(nullptr);
        Log::flush();
        std::error_code ignored;
        std::filesystem::remove_all(folder(), ignored);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages of one tag, in order.
    std::vector<std::string> messages(const std::string& tag) const {
        std::lock_guard lock(state_->mutex);
        std::vector<std::string> out;
        for (const auto& [t, m] : state_->lines) {
            if (t == tag) {
                out.push_back(m);
            }
        }
        return out;
    }
    // How many messages of `tag` contain `part`.
    size_t count(const std::string& tag, const std::string& part) const {
        auto lines = messages(tag);
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.find(part) != std::string::npos;
        }));
    }
    bool contains(const std::string& tag, const std::string& part) const {
        return count(tag, part) > 0;
    }
    // Every line as "[tag] message\n", for failure messages and comparisons.
    std::string all() const {
        std::lock_guard lock(state_->mutex);
        std::string out;
        for (const auto& [t, m] : state_->lines) {
            out += "[" + t + "] " + m + "\n";
        }
        return out;
    }
    // Whether `tag` has a message exactly equal to `message`.
    bool has(const std::string& tag, const std::string& message) const {
        const auto lines = messages(tag);
        return std::find(lines.begin(), lines.end(), message) != lines.end();
    }
    // The first message of `tag` that starts with `prefix`, or "".
    std::string startingWith(const std::string& tag, const std::string& prefix) const {
        for (const auto& m : messages(tag)) {
            if (m.starts_with(prefix)) {
                return m;
            }
        }
        return "";
    }
    void clear() {
        std::lock_guard lock(state_->mutex);
        state_->lines.clear();
    }
    // Called with every later line, on the thread that writes it (under the capture's lock):
    // where a line was written.
    void watch(std::function<void(const std::string& tag, const std::string& message)> watch) {
        std::lock_guard lock(state_->mutex);
        state_->watch = std::move(watch);
    }

    // Echoes every later line to standard error as "[tag] message", where a death test's pattern
    // sees it.
    static void echoToStandardError() {
        Log::setTap([](const std::string& tag, const std::string& message) {
            std::fprintf(stderr, "[%s] %s\n", tag.c_str(), message.c_str());
        });
    }

  private:
    struct State {
        std::mutex mutex;
        std::vector<std::pair<std::string, std::string>> lines;
        std::function<void(const std::string&, const std::string&)> watch;
    };

    // Inside the test program's private home when it has one.
    static std::filesystem::path folder() {
        const std::filesystem::path& tree = TestTree::root();
        const std::filesystem::path base =
            tree.empty() ? std::filesystem::temp_directory_path() : tree;
        return base / ("parlendo-test-log-" + std::to_string(::getpid()));
    }

    std::shared_ptr<State> state_;
};

}  // namespace parlendo::testing
