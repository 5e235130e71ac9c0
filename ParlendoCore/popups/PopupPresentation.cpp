#include "popups/PopupPresentation.h"

#include "foundation/PyText.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace parlendo::PopupPresentation {
namespace {

using Extractor = std::optional<Section> (*)(const Json&);

struct Content {
    const char* id;
    const char* label;
    const char* source;
    const char* input;
    Extractor extract;  // none: the capture pipeline supplies the text
};

std::string stringOf(const Json& object, std::string_view key) {
    return json::string(object, key).value_or("");
}

// The member as an array of objects; empty when missing, not an array, or holding anything else.
std::vector<const Json*> objectsOf(const Json& object, std::string_view key) {
    std::vector<const Json*> out;
    const Json* list = json::array(object, key);
    if (!list) {
        return out;
    }
    for (const auto& element : *list) {
        if (!element.is_object()) {
            return {};
        }
        out.push_back(&element);
    }
    return out;
}

std::optional<Section> joined(const char* label, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return std::nullopt;
    }
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i];
    }
    return Section{label, std::move(text)};
}

// Lines from the "senses" objects, or from the older "meanings" when the senses give none: each
// non-empty stripped `field`, cut to `limit` code points and framed by `line`. At most three.
template <class Line>
std::vector<std::string> senseLines(const Json& row, const char* field, size_t limit, Line line) {
    constexpr size_t maxLines = 3;
    std::vector<std::string> lines;
    for (const Json* sense : objectsOf(row, "senses")) {
        std::string value = PyText::strip(stringOf(*sense, field));
        if (!value.empty()) {
            lines.push_back(line(stringOf(*sense, "pos"), PyText::prefix(value, limit)));
        }
    }
    if (lines.empty()) {
        for (const Json* meaning : objectsOf(row, "meanings")) {
            std::string pos = stringOf(*meaning, "part_of_speech");
            for (const Json* definition : objectsOf(*meaning, "definitions")) {
                std::string value = PyText::strip(stringOf(*definition, field));
                if (!value.empty()) {
                    lines.push_back(line(pos, PyText::prefix(value, limit)));
                }
            }
        }
    }
    if (lines.size() > maxLines) {
        lines.resize(maxLines);
    }
    return lines;
}

std::optional<Section> definitionSection(const Json& row) {
    return joined("정의", senseLines(row, "definition", 90,
                                     [](const std::string& pos, const std::string& text) {
                                         return "[" + pos + "] " + text;
                                     }));
}

std::optional<Section> exampleSection(const Json& row) {
    return joined("예문",
                  senseLines(row, "example", 120, [](const std::string&, const std::string& text) {
                      return "· " + text;
                  }));
}

std::optional<Section> phoneticSection(const Json& row) {
    std::string phonetic = stringOf(row, "phonetic");
    if (phonetic.empty()) {
        return std::nullopt;
    }
    return Section{"발음", std::move(phonetic)};
}

std::optional<Section> koreanSection(const Json& row) {
    constexpr size_t maxSenses = 2;
    std::vector<std::string> lines;
    auto senses = objectsOf(row, "senses");
    for (size_t i = 0; i < senses.size() && i < maxSenses; ++i) {
        std::string korean = PyText::strip(stringOf(*senses[i], "korean"));
        if (korean.empty()) {
            continue;
        }
        std::string pos = stringOf(*senses[i], "pos");
        lines.push_back(pos.empty() ? korean : korean + " [" + pos + "]");
    }
    if (auto section = joined("한글 뜻", lines)) {
        return section;
    }
    std::string korean = stringOf(row, "korean");
    if (korean.empty()) {
        return std::nullopt;
    }
    return Section{"한글 뜻", std::move(korean)};
}

const std::array<Content, 5>& table() {
    static const std::array<Content, 5> contents{{
        {"definition", "영어 정의", "mydict", word, &definitionSection},
        {"example", "예문", "mydict", word, &exampleSection},
        {"phonetic", "발음기호", "mydict", word, &phoneticSection},
        {"korean", "한글 뜻", "mydict", word, &koreanSection},
        {"translation", "문장 번역", "papago", rawText, nullptr},
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
    if (!content || !content->extract) {
        return std::nullopt;
    }
    return content->extract(row);
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
    std::map<std::string, std::string> out;
    for (const auto& content : table()) {
        if (!isWordContent(content)) {
            continue;
        }
        auto section = content.extract ? content.extract(row) : std::nullopt;
        if (section && !section->text.empty()) {
            out[content.id] = std::move(section->text);
        }
    }
    return out;
}

}  // namespace parlendo::PopupPresentation
