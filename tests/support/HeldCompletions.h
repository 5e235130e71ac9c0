#pragma once

#include "foundation/Completion.h"

#include <deque>
#include <mutex>
#include <string_view>

namespace parlendo::testing {

// The completions a fake service holds until the test answers them, oldest first. Answers run
// outside the lock, so a completion may call the fake again. Thread-safe.
template <typename Answer>
class HeldCompletions {
  public:
    HeldCompletions() = default;
    // Calls still held when the fake goes are cancelled: the test chose not to answer them.
    ~HeldCompletions() { dropAll("the test ended without answering the call"); }
    HeldCompletions(const HeldCompletions&) = delete;
    HeldCompletions& operator=(const HeldCompletions&) = delete;

    // Lets every held completion go unanswered, on purpose.
    void dropAll(std::string_view why) {
        std::deque<Completion<void(Answer)>> dropped;
        {
            std::lock_guard lock(mutex_);
            dropped.swap(held_);
        }
        for (auto& completion : dropped) {
            completion.drop(why);
        }
    }

    void hold(Completion<void(Answer)> completion) {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(completion));
    }

    // Answers the oldest held completion; false when none is held.
    bool answerOldest(Answer answer) {
        Completion<void(Answer)> completion;
        {
            std::lock_guard lock(mutex_);
            if (held_.empty()) {
                return false;
            }
            completion = std::move(held_.front());
            held_.pop_front();
        }
        completion(std::move(answer));
        return true;
    }

    int size() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(held_.size());
    }

  private:
    mutable std::mutex mutex_;
    std::deque<Completion<void(Answer)>> held_;
};

}  // namespace parlendo::testing
