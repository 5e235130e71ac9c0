#pragma once

#include "foundation/Json.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The texts that a stored word row shows, one per word content type ("definition", "example",
// "phonetic", "korean"): what popup cards show and what the word book lists as a word's details.
// Pure; safe on any thread.
//
// A word row is a JSON object read leniently: "phonetic" and "korean" strings, "senses" (objects
// with "korean", "definition", "example", "pos") and the older "meanings" (objects with
// "part_of_speech" and "definitions": objects with "definition" and "example"). Missing or
// mistyped members read as empty; an array holding anything but objects reads as empty.
namespace WordTexts {

// One content's result: the heading shown on a card and the text.
struct Section {
    std::string label;
    std::string text;
    bool operator==(const Section&) const = default;
};

// The section of one word content type; none for any other id or when the row gives no text.
std::optional<Section> section(std::string_view contentID, const Json& row);

// Content id to text for every word content type that has text in the row.
std::map<std::string, std::string> all(const Json& row);

}  // namespace WordTexts
}  // namespace parlendo
