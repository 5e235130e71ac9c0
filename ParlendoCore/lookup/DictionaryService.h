#pragma once

#include "foundation/Completion.h"
#include "lookup/DictionaryLookup.h"

#include <optional>
#include <string>

namespace parlendo {

// Looks one word up in the server dictionary. Called from any thread; the completion runs
// exactly once, on the thread that delivered the answer. Failures are CallFailure values.
class DictionaryService {
  public:
    virtual ~DictionaryService() = default;
    virtual void lookup(std::string word, std::optional<std::string> title,
                        Completion<void(DictionaryLookup::Outcome)> completion) = 0;
};

}  // namespace parlendo
