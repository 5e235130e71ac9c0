#pragma once

#include "lookup/DictionaryService.h"

#include <memory>

namespace parlendo {

// The dictionary service over the backend's "dict_lookup" call, on the main client. Adds nothing
// to the call: no time limit, no cache, no log line of its own. Immutable; any thread.
class ServerDictionary final : public DictionaryService {
  public:
    explicit ServerDictionary(std::shared_ptr<DetailedServerCalling> client,
                              std::shared_ptr<const MonotonicClock> clock = SystemClock::shared());

    void lookup(std::string word, std::optional<std::string> title,
                Completion<void(DictionaryLookup::Outcome)> completion) override;

  private:
    const std::shared_ptr<DetailedServerCalling> client_;
    const std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
