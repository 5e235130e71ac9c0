// The dictionary call: request body, one retry after a dropped connection, and its log lines.
#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "lookup/DictionaryLookup.h"
#include "lookup/Lemmatizer.h"
#include "lookup/TitleKey.h"

#include <cstdio>

namespace parlendo {

namespace {

std::string format0(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

std::string redactOptional(const std::optional<std::string>& value) {
    return value ? Log::redact(std::string_view(*value)) : Log::redact(std::nullopt);
}

struct LookupCall {
    // Held weakly: a client that keeps this call's completion must not be kept alive by it.
    std::weak_ptr<DetailedServerCalling> client;
    std::shared_ptr<const MonotonicClock> clock;
    std::string word;
    Json body;
    double start = 0;
    Completion<void(DictionaryLookup::Outcome)> completion;

    void finish(DetailedCallResult answer, bool retried) {
        const double ms = (clock->uptime() - start) * 1000;
        const std::string retriedTail = retried ? " retried=true" : "";
        if (!answer) {
            const CallFailure& failure = answer.error().failure;
            Log::write("lookup", "실패 " + failure.logReason() + " word=" + Log::redact(word) +
                                     " ms=" + format0(ms) + retriedTail);
            completion(fail(failure));
            return;
        }
        auto parsed = DictionaryLookup::parse(*answer, word);
        if (!parsed) {
            Log::write("lookup", "응답 형식 불일치 word=" + Log::redact(word));
            completion(std::move(parsed));
            return;
        }
        const DictionaryLookup::Result& r = *parsed;
        std::string tvf = !r.titleVectorFound ? "-" : (*r.titleVectorFound ? "true" : "false");
        Log::write("lookup",
                   std::string("status=") + toString(r.status) + " word=" + Log::redact(word) +
                       " lemma=" + redactOptional(r.lemma) +
                       " senses=" + std::to_string(r.senses.size()) + " ranked=" +
                       (r.ranked ? "true" : "false") + " matched=" + r.matchedBy.value_or("-") +
                       " tvf=" + tvf + " ms_total=" + format0(ms) +
                       " ms_server=" + (r.serverMs ? format0(*r.serverMs) : "-") + retriedTail);
        completion(std::move(parsed));
    }
};

}  // namespace

Json DictionaryLookup::params(const std::string& word, const std::optional<std::string>& title) {
    std::string lower = PyText::lower(word);
    Json suffixes = Json::array();
    for (auto& candidate : Lemmatizer::suffixCandidates(lower)) {
        suffixes.push_back(std::move(candidate));
    }
    auto key = TitleKey::key(title);
    return Json{{"p_word", word},
                {"p_lower", std::move(lower)},
                {"p_suffix", std::move(suffixes)},
                {"p_title", key ? Json(*key) : Json(nullptr)}};
}

std::optional<double> DictionaryLookup::retryTimeout(const CallFailureDetail& failure,
                                                     double elapsed) {
    if (failure.net != NetFailure::Kind::connectionLost) {
        return std::nullopt;
    }
    double remaining = timeout - elapsed;
    if (!(remaining >= retryMinRemaining)) {
        return std::nullopt;
    }
    return remaining;
}

void DictionaryLookup::lookup(std::shared_ptr<DetailedServerCalling> client, std::string word,
                              std::optional<std::string> title,
                              Completion<void(Outcome)> completion,
                              std::shared_ptr<const MonotonicClock> clock) {
    auto call = std::make_shared<LookupCall>();
    call->client = client;
    call->clock = std::move(clock);
    call->start = call->clock->uptime();
    call->body = params(word, title);
    call->word = std::move(word);
    call->completion = std::move(completion);

    client->callDetailed(
        std::string(path), "POST", call->body, {}, timeout, [call](DetailedCallResult answer) {
            if (!answer) {
                double elapsed = call->clock->uptime() - call->start;
                auto retry = retryTimeout(answer.error(), elapsed);
                auto server = call->client.lock();
                if (retry && server) {
                    Log::write("lookup",
                               "연결 끊김 — 한 번 더 remaining_ms=" + format0(*retry * 1000));
                    server->callDetailed(std::string(path), "POST", call->body, {}, *retry,
                                         [call](DetailedCallResult second) {
                                             call->finish(std::move(second), true);
                                         });
                    return;
                }
            }
            call->finish(std::move(answer), false);
        });
}

}  // namespace parlendo
