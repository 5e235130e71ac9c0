#pragma once

#include "HeldCompletions.h"
#include "saving/SentenceSaving.h"

#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace parlendo::testing {

// A sentence saver that answers `reply` at once when it is set, else holds each save until the
// test answers it. Records every work. Thread-safe.
class FakeSentenceSaver final : public SentenceSaving {
  public:
    void save(SentenceWork work, Completion<void(SentenceSaveOutcome)> completion) override {
        std::unique_lock lock(mutex_);
        works_.push_back(std::move(work));
        if (reply) {
            auto answer = *reply;
            lock.unlock();
            completion(std::move(answer));
            return;
        }
        held_.hold(std::move(completion));
    }
    int pending() const override { return held_.size(); }

    // Answers the oldest held save; false when none is held.
    bool answer(SentenceSaveOutcome outcome) { return held_.answerOldest(std::move(outcome)); }
    // Lets every held save go unanswered, as when the process ends.
    void dropAll(std::string_view why) { held_.dropAll(why); }
    std::vector<SentenceWork> works() const {
        std::lock_guard lock(mutex_);
        return works_;
    }

    std::optional<SentenceSaveOutcome> reply;

  private:
    mutable std::mutex mutex_;
    std::vector<SentenceWork> works_;
    HeldCompletions<SentenceSaveOutcome> held_;
};

}  // namespace parlendo::testing
