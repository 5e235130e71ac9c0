#pragma once

#include "FakeSession.h"
#include "foundation/Log.h"
#include "server/ServerCalling.h"

#include <unistd.h>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// A DetailedServerCalling that records each call and keeps its completion until the test answers
// it, so that a test decides when and how every request ends.
class FakeCalls final : public DetailedServerCalling {
  public:
    struct Call {
        std::string path;
        std::string method;
        std::optional<Json> json;
        HttpHeaders headers;
        double timeout = 0;
        Completion<void(DetailedCallResult)> completion;
    };

    using ServerCalling::call;
    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override {
        callDetailed(std::move(path), std::move(method), std::move(json), std::move(headers),
                     timeout, [completion = std::move(completion)](DetailedCallResult r) mutable {
                         if (r) {
                             completion(std::move(*r));
                         } else {
                             completion(fail(r.error().failure));
                         }
                     });
    }
    void callDetailed(std::string path, std::string method, std::optional<Json> json,
                      HttpHeaders headers, double timeout,
                      Completion<void(DetailedCallResult)> completion) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({std::move(path), std::move(method), std::move(json), std::move(headers),
                          timeout, std::move(completion)});
    }

    size_t count() const {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }
    // A copy of the request part of call i.
    Call request(size_t i) const {
        std::lock_guard lock(mutex_);
        const Call& c = calls_.at(i);
        return {c.path, c.method, c.json, c.headers, c.timeout, nullptr};
    }
    size_t open() const {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& c : calls_) {
            n += c.completion ? 1 : 0;
        }
        return n;
    }

    // Answers call i (the oldest open one by default).
    void answer(DetailedCallResult result, std::optional<size_t> index = std::nullopt) {
        Completion<void(DetailedCallResult)> completion;
        {
            std::lock_guard lock(mutex_);
            if (index) {
                completion = std::move(calls_.at(*index).completion);
            } else {
                for (auto& c : calls_) {
                    if (c.completion) {
                        completion = std::move(c.completion);
                        break;
                    }
                }
            }
        }
        completion(std::move(result));
    }
    void succeed(std::string body, std::optional<size_t> index = std::nullopt) {
        answer(DetailedCallResult(std::move(body)), index);
    }
    void failWith(CallFailure failure, std::optional<size_t> index = std::nullopt) {
        answer(fail(CallFailureDetail(std::move(failure))), index);
    }
    void failDetailed(CallFailureDetail detail, std::optional<size_t> index = std::nullopt) {
        answer(fail(std::move(detail)), index);
    }

  private:
    mutable std::mutex mutex_;
    std::deque<Call> calls_;
};

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
