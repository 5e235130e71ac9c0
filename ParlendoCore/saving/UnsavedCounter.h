#pragma once

#include "foundation/Result.h"
#include "saving/SaveReceipt.h"
#include "saving/SaveVerdict.h"
#include "saving/SentenceSaving.h"
#include "saving/WordSaver.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The count, for the current run and account, of captured words, sentences and sources that
// ended unsaved. Its total is the status menu's warning item and is read by the quit flow; the
// account scope resets it. All members may be called from any thread.
class UnsavedCounter {
  public:
    enum class Kind { word, sentence, source };
    static std::string_view toString(Kind kind);
    static std::optional<Kind> fromString(std::string_view text);

    // One more unsaved item; the new total.
    int add(Kind kind);
    int total() const;
    // Back to zero (the account changed).
    void reset();

    // The status menu's item for `n` unsaved items; nothing below 1.
    static std::optional<std::string> menuTitle(int n);

    // Whether a word outcome counts as unsaved: terminal and retry failures do.
    static bool counts(const Result<SaveReceipt, SaveVerdict>& result);
    // Whether a sentence outcome counts: rejected, lost and unknown do.
    static bool counts(const SentenceSaveOutcome& outcome);

    // Counts the outcome when it counts; whether it did.
    bool note(const WordSaver::Outcome& outcome);
    bool note(const SentenceSaveOutcome& outcome);

  private:
    mutable std::mutex mutex_;
    int count_ = 0;
};

}  // namespace parlendo
