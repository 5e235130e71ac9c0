#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The client of the server dictionary ("dict_lookup"): the value types of one lookup's answer,
// the strict reading of the answer body (which sense generation shares), and the call itself.
struct DictionaryLookup {
    static constexpr std::string_view path = "/rest/v1/rpc/dict_lookup";
    // Time-out of the first request, in seconds.
    static constexpr double timeout = 2.0;
    // Least time left within `timeout` for the one retry after a dropped connection.
    static constexpr double retryMinRemaining = 0.5;

    enum class Status { ok, notFound };

    // One meaning of a word; a field the server left out is the empty string.
    struct Sense {
        std::string korean;
        std::string definition;
        std::string example;
        std::string pos;
        bool operator==(const Sense&) const = default;
    };

    struct Result {
        Status status = Status::notFound;
        std::string word;  // the server's headword, else the looked-up word
        std::optional<std::string> lemma;
        std::optional<std::string> phonetic;
        std::vector<Sense> senses;  // in server order
        bool ranked = false;        // the server ordered the senses by the title context
        std::optional<std::string> matchedBy;
        std::optional<bool> titleVectorFound;
        std::optional<double> serverMs;
        bool operator==(const Result&) const = default;
    };

    using Outcome = parlendo::Result<Result, CallFailure>;

    // Reads an answer of the dictionary shape. Not JSON, not an object, an empty object, or a
    // missing or unknown "status": badShape; "no_db": authRequired. Members of the wrong type
    // count as missing; one sense that is not an object empties the sense list.
    static Outcome parse(std::string_view data, const std::string& word);
    // The same reading of an answer already decoded.
    static Outcome read(const Json& answer, const std::string& word);

    // The request body: the word as it is, its lower-case form, the suffix candidates of that,
    // and the title key (JSON null when the title gives none).
    static Json params(const std::string& word, const std::optional<std::string>& title);

    // The time-out of the one retry: what is left of `timeout` after a dropped connection, when
    // that is at least `retryMinRemaining`; nothing for any other failure.
    static std::optional<double> retryTimeout(const CallFailureDetail& failure, double elapsed);

    // Looks the word up, retrying once after a dropped connection, and writes one log line (tag
    // "lookup"). The completion runs exactly once, on the client's delivery thread. `clock` times
    // the call (monotonic).
    static void lookup(std::shared_ptr<DetailedServerCalling> client, std::string word,
                       std::optional<std::string> title, Completion<void(Outcome)> completion,
                       std::shared_ptr<const MonotonicClock> clock = SystemClock::shared());
};

const char* toString(DictionaryLookup::Status status);
std::optional<DictionaryLookup::Status> dictionaryStatusFromString(std::string_view text);

}  // namespace parlendo
