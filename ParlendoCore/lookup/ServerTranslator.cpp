#include "lookup/ServerTranslator.h"

namespace parlendo {

ServerTranslator::ServerTranslator(std::shared_ptr<DetailedServerCalling> client,
                                   std::optional<std::string> appVersion,
                                   std::shared_ptr<const MonotonicClock> clock)
    : client_(std::move(client)), appVersion_(std::move(appVersion)), clock_(std::move(clock)) {}

void ServerTranslator::translate(std::string text,
                                 Completion<void(TranslationClient::Outcome)> completion) {
    TranslationClient::translate(client_, std::move(text), appVersion_, std::move(completion),
                                 clock_);
}

}  // namespace parlendo
