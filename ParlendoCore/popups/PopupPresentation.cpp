#include "popups/PopupPresentation.h"

#include "foundation/PyText.h"
#include "wordbook/WordTexts.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace parlendo::PopupPresentation {
namespace {

struct Content {
    const char* id;
    const char* label;
    const char* source;
    const char* input;
    // Whether the text comes from a stored word row (through the word book's renderers); else
    // the capture pipeline supplies it.
    bool fromWordRow;
};

const std::array<Content, 5>& table() {
    static const std::array<Content, 5> contents{{
        {"definition", "영어 정의", "mydict", word, true},
        {"example", "예문", "mydict", word, true},
        {"phonetic", "발음기호", "mydict", word, true},
        {"korean", "한글 뜻", "mydict", word, true},
        {"translation", "문장 번역", "papago", rawText, false},
    }};
    return contents;
}

const Content* find(std::string_view id) {
    for (const auto& content : table()) {
        if (id == content.id) {
            return &content;
        }
    }
    return nullptr;
}

bool isWordContent(const Content& content) {
    return std::string_view(content.input) == word;
}

}  // namespace

std::optional<std::string> settingLabel(std::string_view name) {
    std::string stripped = PyText::strip(name);
    if (stripped.empty()) {
        return std::nullopt;
    }
    return "· " + stripped;
}

std::optional<PopupInput> input(std::string_view contentID) {
    const Content* content = find(contentID);
    if (!content) {
        return std::nullopt;
    }
    return popupInputFromString(content->input);
}

std::vector<std::string> validContents(const std::vector<std::string>& contents) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto& id : contents) {
        if (find(id) && seen.insert(id).second) {
            out.push_back(id);
        }
    }
    return out;
}

std::optional<Section> extract(std::string_view contentID, const Json& row) {
    const Content* content = find(contentID);
    if (!content || !content->fromWordRow) {
        return std::nullopt;
    }
    return WordTexts::section(content->id, row);
}

std::vector<PopupSection> sections(const Json& row, const std::vector<std::string>& contents) {
    std::vector<PopupSection> out;
    for (const auto& id : validContents(contents)) {
        const Content* content = find(id);
        if (!isWordContent(*content)) {
            continue;
        }
        auto section = extract(id, row);
        if (!section || section->text.empty()) {
            continue;
        }
        out.push_back(PopupSection{id, std::move(section->label), std::move(section->text)});
    }
    return out;
}

PopupBody wordBody(std::string head, std::optional<std::string> original, const Json& row,
                   const std::vector<std::string>& contents) {
    auto shown = sections(row, contents);
    if (shown.empty()) {
        return PopupBody::failure(std::move(head), emptyMessage);
    }
    return PopupBody::word(std::move(head), std::move(original), std::move(shown));
}

std::optional<std::pair<std::string, std::string>> headword(
    const std::string& captured, const DictionaryLookup::Result& result) {
    if (result.status != DictionaryLookup::Status::ok || !result.lemma || result.lemma->empty() ||
        *result.lemma == captured) {
        return std::nullopt;
    }
    return std::make_pair(*result.lemma, "← " + captured);
}

PopupBody wordBody(const std::string& captured, const DictionaryLookup::Result& result,
                   const std::vector<std::string>& contents) {
    Json row = Json::object();
    row["phonetic"] = result.phonetic.value_or("");
    Json senses = Json::array();
    for (const auto& sense : result.senses) {
        senses.push_back(Json{{"korean", sense.korean},
                              {"definition", sense.definition},
                              {"example", sense.example},
                              {"pos", sense.pos}});
    }
    row["senses"] = std::move(senses);
    if (auto head = headword(captured, result)) {
        return wordBody(std::move(head->first), std::move(head->second), row, contents);
    }
    return wordBody(result.lemma.value_or(result.word), std::nullopt, row, contents);
}

std::map<std::string, std::string> wordTexts(const Json& row) {
    return WordTexts::all(row);
}

}  // namespace parlendo::PopupPresentation
