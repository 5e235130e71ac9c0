#include "saving/SaveWork.h"

#include "foundation/PyText.h"

namespace parlendo {

namespace {

constexpr size_t keptSenses = 2;

Json stringOrNull(const std::string& value) {
    return value.empty() ? Json(nullptr) : Json(value);
}

Json optionalString(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

bool definitionPasses(const std::string& definition) {
    const std::string stripped = PyText::strip(definition);
    return !stripped.empty() && stripped != "-";
}

}  // namespace

SaveWork::SaveWork(std::string id_, std::string sourceID_, std::string lemma_,
                   std::optional<std::string> phonetic_, std::optional<std::string> korean_,
                   std::vector<Sense> senses_, double createdAt_)
    : id(std::move(id_)),
      sourceID(std::move(sourceID_)),
      lemma(std::move(lemma_)),
      phonetic(std::move(phonetic_)),
      korean(std::move(korean_)),
      senses(std::move(senses_)),
      createdAt(createdAt_) {
    if (senses.size() > keptSenses) {
        senses.resize(keptSenses);
    }
}

Json SaveWork::rpcParams() const {
    Json list = Json::array();
    for (const auto& sense : senses) {
        list.push_back(Json{{"korean", stringOrNull(sense.korean)},
                            {"definition", stringOrNull(sense.definition)},
                            {"example", stringOrNull(sense.example)},
                            {"pos", stringOrNull(sense.pos)}});
    }
    return Json{{"p_source_id", sourceID},
                {"p_lemma", PyText::lower(lemma)},
                {"p_phonetic", optionalString(phonetic)},
                {"p_korean", optionalString(korean)},
                {"p_senses", std::move(list)}};
}

std::string SaveWork::shortID() const {
    return id.substr(0, 8);
}

bool SaveWork::hasDefinitions(const std::vector<Sense>& senses) {
    if (senses.empty() || !definitionPasses(senses[0].definition)) {
        return false;
    }
    if (senses.size() == 1) {
        return true;
    }
    return definitionPasses(senses[1].definition);
}

}  // namespace parlendo
