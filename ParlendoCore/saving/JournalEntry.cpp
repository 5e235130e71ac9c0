#include "saving/JournalEntry.h"

#include "foundation/Overloaded.h"

namespace parlendo {

namespace {

Json optionalString(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

// A member that is a string or null; nothing (a bad entry) for anything else or a missing key.
std::optional<std::optional<std::string>> stringOrNull(const Json& object, const char* key) {
    if (!object.contains(key)) {
        return std::nullopt;
    }
    if (object[key].is_null()) {
        return std::optional<std::string>();
    }
    if (auto text = json::string(object, key)) {
        return std::optional<std::string>(std::move(*text));
    }
    return std::nullopt;
}

Json encodeSave(const JournalEntry::Save& save) {
    return std::visit(overloaded{
                          [](const SaveWork& work) {
                              Json senses = Json::array();
                              for (const auto& sense : work.senses) {
                                  senses.push_back(Json{{"korean", sense.korean},
                                                        {"definition", sense.definition},
                                                        {"example", sense.example},
                                                        {"pos", sense.pos}});
                              }
                              return Json{{"kind", "word"},
                                          {"id", work.id},
                                          {"lemma", work.lemma},
                                          {"phonetic", optionalString(work.phonetic)},
                                          {"korean", optionalString(work.korean)},
                                          {"senses", std::move(senses)},
                                          {"created_at", work.createdAt}};
                          },
                          [](const SentenceWork& work) {
                              return Json{{"kind", "sentence"},
                                          {"id", work.id},
                                          {"original", work.original},
                                          {"korean", work.korean}};
                          },
                      },
                      save);
}

std::optional<JournalEntry::Save> decodeWord(const Json& entry, std::string source) {
    auto id = json::string(entry, "id");
    auto lemma = json::string(entry, "lemma");
    auto phonetic = stringOrNull(entry, "phonetic");
    auto korean = stringOrNull(entry, "korean");
    const Json* list = json::array(entry, "senses");
    auto createdAt = json::number(entry, "created_at");
    if (!id || !lemma || !phonetic || !korean || !list || !createdAt) {
        return std::nullopt;
    }
    std::vector<SaveWork::Sense> senses;
    for (const auto& item : *list) {
        auto gloss = json::string(item, "korean");
        auto definition = json::string(item, "definition");
        auto example = json::string(item, "example");
        auto pos = json::string(item, "pos");
        if (!gloss || !definition || !example || !pos) {
            return std::nullopt;
        }
        senses.push_back(SaveWork::Sense{std::move(*gloss), std::move(*definition),
                                         std::move(*example), std::move(*pos)});
    }
    return SaveWork(std::move(*id), std::move(source), std::move(*lemma), std::move(*phonetic),
                    std::move(*korean), std::move(senses), *createdAt);
}

std::optional<JournalEntry::Save> decodeSentence(const Json& entry, std::string source) {
    auto id = json::string(entry, "id");
    auto original = json::string(entry, "original");
    auto korean = json::string(entry, "korean");
    if (!id || !original || !korean) {
        return std::nullopt;
    }
    return SentenceWork{std::move(*id), std::move(source), std::move(*original),
                        std::move(*korean)};
}

std::optional<JournalEntry::Origin> decodeOrigin(const Json& origin) {
    auto app = json::string(origin, "app");
    auto title = stringOrNull(origin, "title");
    auto document = stringOrNull(origin, "document_url");
    auto web = stringOrNull(origin, "web_url");
    if (!app || !title || !document || !web) {
        return std::nullopt;
    }
    return JournalEntry::Origin{std::move(*app), std::move(*title), std::move(*document),
                                std::move(*web)};
}

}  // namespace

std::optional<JournalEntry::Origin> JournalEntry::Origin::of(const CaptureSnapshot& snapshot) {
    if (!snapshot.window) {
        return std::nullopt;
    }
    return Origin{snapshot.window->bundleID, snapshot.title, snapshot.documentURL, snapshot.webURL};
}

CaptureSnapshot JournalEntry::Origin::snapshot(const std::string& id) const {
    return CaptureSnapshot(id, "", 0, WindowIdentity(0, bundleID, title), title, documentURL,
                           webURL);
}

const std::string& JournalEntry::id() const {
    return std::visit([](const auto& work) -> const std::string& { return work.id; }, save);
}

const std::string& JournalEntry::sourceID() const {
    return std::visit([](const auto& work) -> const std::string& { return work.sourceID; }, save);
}

void JournalEntry::setSourceID(std::string sourceID) {
    std::visit([&](auto& work) { work.sourceID = std::move(sourceID); }, save);
}

Json JournalEntry::toJson() const {
    Json out = encodeSave(save);
    if (origin) {
        out["origin"] = Json{{"app", origin->bundleID},
                             {"title", optionalString(origin->title)},
                             {"document_url", optionalString(origin->documentURL)},
                             {"web_url", optionalString(origin->webURL)}};
    } else {
        out["source_id"] = sourceID();
    }
    return out;
}

std::optional<JournalEntry> JournalEntry::fromJson(const Json& entry) {
    std::optional<Origin> origin;
    std::string source;
    if (entry.is_object() && entry.contains("origin")) {
        const Json* fields = json::object(entry, "origin");
        origin = fields ? decodeOrigin(*fields) : std::nullopt;
        if (!origin) {
            return std::nullopt;
        }
    } else if (auto resolved = json::string(entry, "source_id")) {
        source = std::move(*resolved);
    } else {
        return std::nullopt;
    }
    const auto kind = json::string(entry, "kind");
    std::optional<Save> save;
    if (kind == "word") {
        save = decodeWord(entry, std::move(source));
    } else if (kind == "sentence") {
        save = decodeSentence(entry, std::move(source));
    }
    if (!save) {
        return std::nullopt;
    }
    return JournalEntry{std::move(*save), std::move(origin)};
}

}  // namespace parlendo
