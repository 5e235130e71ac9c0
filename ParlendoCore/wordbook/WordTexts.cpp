#include "wordbook/WordTexts.h"

#include "foundation/PyText.h"

#include <vector>

namespace parlendo::WordTexts {
namespace {

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

struct Extractor {
    const char* id;
    std::optional<Section> (*extract)(const Json&);
};

// In the order of the content-type table.
constexpr Extractor extractors[] = {
    {"definition", &definitionSection},
    {"example", &exampleSection},
    {"phonetic", &phoneticSection},
    {"korean", &koreanSection},
};

}  // namespace

std::optional<Section> section(std::string_view contentID, const Json& row) {
    for (const auto& extractor : extractors) {
        if (contentID == extractor.id) {
            return extractor.extract(row);
        }
    }
    return std::nullopt;
}

std::map<std::string, std::string> all(const Json& row) {
    std::map<std::string, std::string> out;
    for (const auto& extractor : extractors) {
        auto found = extractor.extract(row);
        if (found && !found->text.empty()) {
            out[extractor.id] = std::move(found->text);
        }
    }
    return out;
}

}  // namespace parlendo::WordTexts
