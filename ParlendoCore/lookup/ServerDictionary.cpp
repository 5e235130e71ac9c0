#include "lookup/ServerDictionary.h"

namespace parlendo {

ServerDictionary::ServerDictionary(std::shared_ptr<DetailedServerCalling> client,
                                   std::shared_ptr<const MonotonicClock> clock)
    : client_(std::move(client)), clock_(std::move(clock)) {}

void ServerDictionary::lookup(std::string word, std::optional<std::string> title,
                              Completion<void(DictionaryLookup::Outcome)> completion) {
    DictionaryLookup::lookup(client_, std::move(word), std::move(title), std::move(completion),
                             clock_);
}

}  // namespace parlendo
