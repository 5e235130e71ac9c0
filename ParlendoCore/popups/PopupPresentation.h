#pragma once

#include "foundation/Json.h"
#include "lookup/DictionaryLookup.h"
#include "popups/PopupBody.h"
#include "popups/PopupSetting.h"
#include "wordbook/WordTexts.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace parlendo {

// What word cards show: the table of the five content ids a popup setting may list (label,
// source, input kind, text extractor), the fixed card texts, and the builders that turn a
// dictionary result or a stored word row into card sections. Pure; safe on any thread.
//
// A word row is a JSON object read leniently: "phonetic" and "korean" strings, "senses" (objects
// with "korean", "definition", "example", "pos") and the older "meanings" (objects with
// "part_of_speech" and "definitions": objects with "definition" and "example"). Missing or
// mistyped members read as empty; an array holding anything but objects reads as empty.
namespace PopupPresentation {

// One extractor's result: the heading shown on the card and the text.
using Section = WordTexts::Section;

inline constexpr const char* word = "word";
inline constexpr const char* rawText = "raw_text";
inline constexpr const char* emptyMessage = "표시할 내용이 없어요";
inline constexpr const char* notFoundMessage = "사전에 없는 단어예요";

// The caption naming a card's popup setting: "· " and the stripped name; none when it is empty.
std::optional<std::string> settingLabel(std::string_view name);

// The input kind a content id belongs to; none for an id outside the table.
std::optional<PopupInput> input(std::string_view contentID);

// The ids that are in the table, first occurrences only, order kept.
std::vector<std::string> validContents(const std::vector<std::string>& contents);

// The section a content id's extractor gives for a word row; none for a content without an
// extractor ("translation") or an id outside the table.
std::optional<Section> extract(std::string_view contentID, const Json& row);

// The card sections of a word row for a setting's contents: word contents only, in the setting's
// order, sections with empty text left out.
std::vector<PopupSection> sections(const Json& row, const std::vector<std::string>& contents);

// The headword and the captured form ("← " + captured) when the dictionary matched a lemma that
// differs from what was captured; none otherwise.
std::optional<std::pair<std::string, std::string>> headword(const std::string& captured,
                                                            const DictionaryLookup::Result& result);

// The body of a word card for one setting's contents: one section per word content with text, in
// the setting's order, under the headword; a failure carrying the headword when nothing has text.
PopupBody wordBody(const std::string& captured, const DictionaryLookup::Result& result,
                   const std::vector<std::string>& contents);

// The body of a word card whose sections come from `row`: a failure carrying `head` as its title
// when no section has text.
PopupBody wordBody(std::string head, std::optional<std::string> original, const Json& row,
                   const std::vector<std::string>& contents);

// Content id to text for every word content that has text in a stored word row.
std::map<std::string, std::string> wordTexts(const Json& row);

}  // namespace PopupPresentation
}  // namespace parlendo
