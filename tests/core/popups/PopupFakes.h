#pragma once

#include "FakeSession.h"
#include "foundation/Log.h"
#include "server/ServerCalling.h"

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

struct RecordedCall {
    std::string path;
    std::string method;
    std::optional<Json> json;
    HttpHeaders headers;
    double timeout = 0;
};

// A backend that records every call and answers from a script: the handler when one is set, else
// the next queued reply (an empty array when none is queued). With `hold` set, calls wait until
// the test answers them with `release`.
class FakeServerCalling final : public ServerCalling {
  public:
    using Handler = std::function<CallResult(const RecordedCall&)>;

    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override {
        RecordedCall recorded{std::move(path), std::move(method), std::move(json),
                              std::move(headers), timeout};
        CallResult result = std::string("[]");
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(recorded);
            if (hold_) {
                held_.push_back(std::move(completion));
                return;
            }
            if (handler_) {
                result = handler_(recorded);
            } else if (!replies_.empty()) {
                result = std::move(replies_.front());
                replies_.pop_front();
            }
        }
        completion(std::move(result));
    }

    void reply(CallResult result) {
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(result));
    }
    void replyJson(const Json& body) { reply(body.dump()); }
    void replyFailure(CallFailure failure) { reply(fail(std::move(failure))); }
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    void setHold(bool hold) {
        std::lock_guard lock(mutex_);
        hold_ = hold;
    }
    size_t heldCount() const {
        std::lock_guard lock(mutex_);
        return held_.size();
    }
    // Answers the oldest held call.
    void release(CallResult result) {
        Completion<void(CallResult)> completion;
        {
            std::lock_guard lock(mutex_);
            completion = std::move(held_.front());
            held_.pop_front();
        }
        completion(std::move(result));
    }
    std::vector<RecordedCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<RecordedCall> calls_;
    std::deque<CallResult> replies_;
    std::deque<Completion<void(CallResult)>> held_;
    Handler handler_;
    bool hold_ = false;
};

inline CallFailure uniqueViolation() {
    return CallFailure::rejectedDetail(ServerRejection{409, "23505", "duplicate key"});
}

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
