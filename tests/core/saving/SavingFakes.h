#pragma once

#include "FakeSession.h"
#include "foundation/Executor.h"
#include "foundation/Log.h"
#include "server/ServerCalling.h"

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

// A ServerCalling that records every call and answers from a script.
//
// Answers are queued per "METHOD path" where the path is taken without its query; each call takes
// the next queued answer, the last one repeating. A call with no script fails `unavailable`.
// Answers run at once inside `call`, unless `hold(true)`: then they wait for `releaseNext()`.
class FakeServer final : public ServerCalling {
  public:
    struct Call {
        std::string path;
        std::string method;
        std::optional<Json> json;
        HttpHeaders headers;
        double timeout = 0;
    };

    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override {
        CallResult answer = fail(CallFailure::unavailable());
        bool held = false;
        {
            std::lock_guard lock(mutex_);
            const std::string key = method + " " + path.substr(0, path.find('?'));
            calls_.push_back(Call{path, method, json, headers, timeout});
            auto it = scripts_.find(key);
            if (respond_) {
                answer = respond_(calls_.back());
            } else if (it != scripts_.end() && !it->second.empty()) {
                answer = it->second.front();
                if (it->second.size() > 1) {
                    it->second.pop_front();
                }
            }
            if (holding_) {
                held_.push_back(Held{std::move(answer), std::move(completion)});
                held = true;
            }
        }
        if (!held) {
            completion(std::move(answer));
        }
    }
    using ServerCalling::call;

    // Queues an answer for "METHOD path" (path without query).
    void script(const std::string& method, const std::string& path, CallResult answer) {
        std::lock_guard lock(mutex_);
        scripts_[method + " " + path].push_back(std::move(answer));
    }
    void ok(const std::string& method, const std::string& path, const std::string& body) {
        script(method, path, CallResult(body));
    }
    void failure(const std::string& method, const std::string& path, CallFailure failure) {
        script(method, path, fail(std::move(failure)));
    }

    // Answers every call from a function instead of the scripts.
    void respondWith(std::function<CallResult(const Call&)> respond) {
        std::lock_guard lock(mutex_);
        respond_ = std::move(respond);
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    size_t count(const std::string& method) const {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& c : calls_) {
            n += c.method == method ? 1 : 0;
        }
        return n;
    }

    void hold(bool holding) {
        std::lock_guard lock(mutex_);
        holding_ = holding;
    }
    size_t heldCount() const {
        std::lock_guard lock(mutex_);
        return held_.size();
    }
    // Answers the oldest held call, optionally with another answer than its scripted one.
    bool releaseNext(std::optional<CallResult> instead = std::nullopt) {
        Held next;
        {
            std::lock_guard lock(mutex_);
            if (held_.empty()) {
                return false;
            }
            next = std::move(held_.front());
            held_.pop_front();
        }
        next.completion(instead ? std::move(*instead) : std::move(next.answer));
        return true;
    }

  private:
    struct Held {
        CallResult answer = fail(CallFailure::unavailable());
        Completion<void(CallResult)> completion;
    };
    mutable std::mutex mutex_;
    std::map<std::string, std::deque<CallResult>> scripts_;
    std::vector<Call> calls_;
    std::function<CallResult(const Call&)> respond_;
    bool holding_ = false;
    std::deque<Held> held_;
};

inline CallFailure rejection(int status, std::string code, std::string message = "") {
    return CallFailure::rejectedDetail(
        ServerRejection{status, std::move(code), std::move(message)});
}

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
