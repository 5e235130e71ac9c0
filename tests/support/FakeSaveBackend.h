#pragma once

#include "HeldCompletions.h"
#include "saving/SaveBackend.h"
#include "server/AuthTypes.h"

#include <memory>
#include <mutex>
#include <vector>

namespace parlendo::testing {

// A word save backend whose snapshot call answers `reply` (a stored word by default) at once,
// or, with `hold` set, when the test releases it. Records every work. The account signed in is
// the one `session` names. Thread-safe.
class FakeSaveBackend final : public SaveBackend {
  public:
    static constexpr const char* stored =
        R"({"status":"ok","word_id":"word-1","snapshot_state":"inserted","created":true})";

    explicit FakeSaveBackend(std::shared_ptr<const SessionProviding> session)
        : session_(std::move(session)) {}

    void snapshot(SaveWork work, Completion<void(CallResult)> completion) override {
        std::unique_lock lock(mutex_);
        works_.push_back(std::move(work));
        if (hold) {
            held_.hold(std::move(completion));
            return;
        }
        CallResult answer = reply;
        lock.unlock();
        completion(std::move(answer));
    }
    void legacy(SaveWork work, Completion<void(bool)> completion) override {
        {
            std::lock_guard lock(mutex_);
            works_.push_back(std::move(work));
        }
        completion(false);
    }
    bool signedIn(const std::string& owner) const override {
        return !owner.empty() && session_->userID() == owner;
    }

    // Answers the oldest held call; false when none is held.
    bool release(CallResult answer) { return held_.answerOldest(std::move(answer)); }
    std::vector<SaveWork> works() const {
        std::lock_guard lock(mutex_);
        return works_;
    }

    CallResult reply = std::string(stored);
    bool hold = false;

  private:
    const std::shared_ptr<const SessionProviding> session_;
    mutable std::mutex mutex_;
    std::vector<SaveWork> works_;
    HeldCompletions<CallResult> held_;
};

}  // namespace parlendo::testing
