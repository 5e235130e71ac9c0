#pragma once

#include "foundation/Deadline.h"
#include "lookup/DictionaryService.h"
#include "lookup/NegativeCache.h"
#include "lookup/SenseGeneration.h"
#include "lookup/WordLookingUp.h"

#include <memory>

namespace parlendo {

// The word lookup of a capture: the server dictionary within 2.3 s, then, for a word it lacks
// and a capture with a title key, generated senses within 8.3 s more. Words the generator calls
// non-words are remembered in `notWords` and not sent again while remembered. Keeps no state of
// its own; lookups of several captures may run at once. The deadlines run on `timers`; races
// that a deadline wins leave the late call to finish and drop its result.
class GeneratingDictionary final : public WordLookingUp {
  public:
    GeneratingDictionary(std::shared_ptr<DictionaryService> dictionary,
                         std::shared_ptr<SenseGenerating> generator,
                         std::shared_ptr<NegativeCache> notWords, ExecutorPtr timers);

    void lookup(std::string word, std::optional<std::string> title,
                std::function<void()> onGenerating,
                Completion<void(WordLookupResult)> completion) override;

    // The not-found result of a captured word: what the cards show when nothing was made.
    static DictionaryLookup::Result notFound(const std::string& word,
                                             std::optional<std::string> lemma);

  private:
    // What a lookup in flight needs; shared so that it may outlive this object.
    struct Parts {
        std::shared_ptr<DictionaryService> dictionary;
        std::shared_ptr<SenseGenerating> generator;
        std::shared_ptr<NegativeCache> notWords;
        ExecutorPtr timers;
    };

    static void afterDictionary(const std::shared_ptr<const Parts>& parts, std::string word,
                                std::string lower, const std::optional<std::string>& title,
                                DictionaryLookup::Outcome found,
                                const std::function<void()>& onGenerating,
                                Completion<void(WordLookupResult)> completion);

    const std::shared_ptr<const Parts> parts_;
};

}  // namespace parlendo
