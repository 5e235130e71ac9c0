#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace parlendo {

// How selections and page texts are compared: separators, punctuation and symbols drop out and
// letters are lower-cased, so that a selection matches a page whatever its spacing, line breaks,
// hyphenation or quotation marks.
namespace PageText {

using Words = std::unordered_set<std::string>;

// The text as a byte string of its letters and digits only: compatibility-composed (when not pure
// ASCII), ASCII letters lower-cased, Hangul syllables as they are, every other alphabetic or
// numeric scalar as its lower-case mapping; everything else left out.
std::string normalize(std::string_view text);

// The words of the text: compatibility-composed and lower-cased, cut at every scalar that is
// neither alphabetic nor numeric; words of a single scalar do not count.
Words words(std::string_view text);

}  // namespace PageText

// The order in which the pages of one document are visited.
namespace PageOrder {

// Every page from 1 to `count` once: the hinted pages (within range) ascending, then the pages
// between them, then outward from them, alternating after and before.
std::vector<int> around(const std::vector<int>& hints, int count);

}  // namespace PageOrder
}  // namespace parlendo
