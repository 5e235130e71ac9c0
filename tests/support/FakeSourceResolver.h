#pragma once

#include "HeldCompletions.h"
#include "saving/SourceResolver.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace parlendo::testing {

// A source resolver that answers from a script, one answer per call (`row` once the script is
// used up), at once, or holds the calls until the test answers them when `hold` is set.
// Records every snapshot. Thread-safe.
class FakeSourceResolver final : public SourceResolving {
  public:
    void resolve(CaptureSnapshot snapshot,
                 Completion<void(std::optional<SourceRow>)> completion) override {
        std::unique_lock lock(mutex_);
        snapshots.push_back(snapshot);
        if (hold) {
            held_.hold(std::move(completion));
            return;
        }
        std::optional<SourceRow> answer = row;
        if (!script.empty()) {
            answer = script.front();
            script.pop_front();
        }
        lock.unlock();
        completion(std::move(answer));
    }

    // Answers the oldest held call; false when none is held.
    bool answer(std::optional<SourceRow> answer) { return held_.answerOldest(std::move(answer)); }
    // Lets every held call go unanswered, as when the process ends.
    void dropAll(std::string_view why) { held_.dropAll(why); }
    size_t calls() const {
        std::lock_guard lock(mutex_);
        return snapshots.size();
    }

    std::optional<SourceRow> row = SourceRow{"source-1", "notes", std::nullopt};
    std::deque<std::optional<SourceRow>> script;
    bool hold = false;
    std::vector<CaptureSnapshot> snapshots;

  private:
    mutable std::mutex mutex_;
    HeldCompletions<std::optional<SourceRow>> held_;
};

}  // namespace parlendo::testing
