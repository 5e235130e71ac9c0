#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// Base forms to try for an inflected English word, by a small table of suffix rules. The
// dictionary receives them with the word and matches whichever it knows.
namespace Lemmatizer {

// Candidates for a lower-case word, without duplicates, in rule order: "-ies", "-es", "-s",
// "-ing", "-ed", "-ied", "-er", "-est". Never the word itself, never an empty string. Any bytes
// are taken: an invalid UTF-8 sequence counts as one U+FFFD character.
std::vector<std::string> suffixCandidates(std::string_view word);

}  // namespace Lemmatizer

}  // namespace parlendo
