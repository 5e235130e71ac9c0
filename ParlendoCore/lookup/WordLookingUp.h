#pragma once

#include "foundation/Completion.h"
#include "foundation/Function.h"
#include "lookup/DictionaryLookup.h"

#include <functional>
#include <optional>
#include <string>

namespace parlendo {

// One word lookup's answer: the result the cards show and, when the dictionary did not find the
// word, the label of what happened about generating its senses: "remembered", "no_title",
// "lemma_invalid", "made", "rejected", "not_a_word", "quota", "refused" (the server refused the
// request for good) or "failed" (it may work another time).
struct WordLookupOutcome {
    DictionaryLookup::Result result;
    std::optional<std::string> generation;
    bool operator==(const WordLookupOutcome&) const = default;
};

using WordLookupResult = Result<WordLookupOutcome, CallFailure>;

// Gives the meaning of a captured word under the lookup's own time budgets. `onGenerating` is
// called at most once, just before senses are requested, on whichever thread the lookup is on;
// the caller moves to the main thread itself. Called from any thread.
class WordLookingUp {
  public:
    virtual ~WordLookingUp() = default;
    virtual void lookup(std::string word, std::optional<std::string> title,
                        std::function<void()> onGenerating,
                        Completion<void(WordLookupResult)> completion) = 0;
};

}  // namespace parlendo
