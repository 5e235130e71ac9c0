#pragma once

#include "foundation/Result.h"
#include "saving/SaveReceipt.h"
#include "saving/SaveVerdict.h"
#include "saving/SentenceSaving.h"
#include "saving/WordSaver.h"

#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace parlendo {

// The count, for the current run and account, of captured words, sentences and sources that
// ended unsaved. A capture named by its id is counted once however often it is told, and counts
// no more once it reaches the server after all (a save kept for a later send). Its total is the
// status menu's warning item and is read by the quit flow; the account scope resets it. All
// members may be called from any thread.
class UnsavedCounter {
  public:
    enum class Kind { word, sentence, source };
    static std::string_view toString(Kind kind);
    static std::optional<Kind> fromString(std::string_view text);

    // One more unsaved item, unless the capture `id` is counted already; the new total.
    int add(Kind kind, std::optional<std::string> id = std::nullopt);
    // The capture `id` reached the server after all; whether it was counted.
    bool settle(const std::string& id);
    int total() const;
    // Back to zero (the account changed).
    void reset();

    // The status menu's item for `n` unsaved items; nothing below 1.
    static std::optional<std::string> menuTitle(int n);

    // Whether a word outcome counts as unsaved: terminal and retry failures do.
    static bool counts(const Result<SaveReceipt, SaveVerdict>& result);
    // Whether a sentence outcome counts: rejected, lost and unknown do.
    static bool counts(const SentenceSaveOutcome& outcome);

    // Counts the outcome (the word's under its work id) when it counts; whether it does.
    bool note(const WordSaver::Outcome& outcome);
    bool note(const SentenceSaveOutcome& outcome, std::optional<std::string> id = std::nullopt);

  private:
    int totalLocked() const { return count_ + static_cast<int>(ids_.size()); }

    mutable std::mutex mutex_;
    int count_ = 0;
    std::set<std::string> ids_;
};

}  // namespace parlendo
