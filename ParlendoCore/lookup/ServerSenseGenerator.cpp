#include "lookup/ServerSenseGenerator.h"

#include "foundation/Log.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"

#include <cstdio>

namespace parlendo {

ServerSenseGenerator::ServerSenseGenerator(std::shared_ptr<ServerCalling> server,
                                           std::optional<std::string> appVersion,
                                           std::shared_ptr<const MonotonicClock> clock)
    : server_(std::move(server)), appVersion_(std::move(appVersion)), clock_(std::move(clock)) {}

void ServerSenseGenerator::generate(std::string lemma, std::string titleKey, std::string word,
                                    Completion<void(SenseGeneration::Outcome)> completion) {
    const double start = clock_->uptime();
    Json body = SenseGeneration::params(lemma, titleKey, appVersion_, uuid::makeLower());
    server_->call(
        std::string(SenseGeneration::path), "POST", std::move(body), SenseGeneration::timeout,
        [clock = clock_, start, lemma = std::move(lemma), titleKey = std::move(titleKey),
         word = std::move(word), completion = std::move(completion)](CallResult answer) mutable {
            auto outcome = answer ? SenseGeneration::parse(*answer, word)
                                  : SenseGeneration::Outcome::failed(answer.error());
            char line[256];
            std::snprintf(line, sizeof line, " lemma_len=%zu title_len=%zu ms=%.0f",
                          text::codePointCount(lemma), text::codePointCount(titleKey),
                          (clock->uptime() - start) * 1000);
            Log::write("generate", "outcome=" + outcome.label() + line);
            completion(std::move(outcome));
        });
}

}  // namespace parlendo
