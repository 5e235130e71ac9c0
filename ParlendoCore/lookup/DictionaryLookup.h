#pragma once

#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The server dictionary: the value types of one lookup's answer and the strict reading of the
// answer body, which sense generation shares.
struct DictionaryLookup {
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
};

const char* toString(DictionaryLookup::Status status);
std::optional<DictionaryLookup::Status> dictionaryStatusFromString(std::string_view text);

}  // namespace parlendo
