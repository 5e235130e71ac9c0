#pragma once

#include "lookup/SentenceTranslating.h"

#include <memory>
#include <optional>

namespace parlendo {

// Sentence translation through the backend's "translate-sentence" function on the main client.
// Adds no time limit, retry or log line of its own. Immutable; any thread.
class ServerTranslator final : public SentenceTranslating {
  public:
    ServerTranslator(std::shared_ptr<DetailedServerCalling> client,
                     std::optional<std::string> appVersion,
                     std::shared_ptr<const MonotonicClock> clock = SystemClock::shared());

    void translate(std::string text,
                   Completion<void(TranslationClient::Outcome)> completion) override;

  private:
    const std::shared_ptr<DetailedServerCalling> client_;
    const std::optional<std::string> appVersion_;
    const std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
