#pragma once

#include "foundation/Clock.h"
#include "lookup/SenseGeneration.h"
#include "server/ServerCalling.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// Generates senses through the backend's "generate-sense" function and writes one log line
// (tag "generate") per request. Stateless; callable from any thread.
class ServerSenseGenerator final : public SenseGenerating {
  public:
    // `clock` times the requests (monotonic); the system clock when left out.
    ServerSenseGenerator(std::shared_ptr<ServerCalling> server,
                         std::optional<std::string> appVersion,
                         std::shared_ptr<const MonotonicClock> clock = SystemClock::shared());

    void generate(std::string lemma, std::string titleKey, std::string word,
                  Completion<void(SenseGeneration::Outcome)> completion) override;

  private:
    const std::shared_ptr<ServerCalling> server_;
    const std::optional<std::string> appVersion_;
    const std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
