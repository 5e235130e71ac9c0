#include "lookup/DictionaryLookup.h"

#include "foundation/Json.h"

namespace parlendo {

const char* toString(DictionaryLookup::Status status) {
    switch (status) {
        case DictionaryLookup::Status::ok:
            return "ok";
        case DictionaryLookup::Status::notFound:
            return "not_found";
    }
    return "not_found";
}

std::optional<DictionaryLookup::Status> dictionaryStatusFromString(std::string_view text) {
    if (text == "ok") {
        return DictionaryLookup::Status::ok;
    }
    if (text == "not_found") {
        return DictionaryLookup::Status::notFound;
    }
    return std::nullopt;
}

namespace {

std::vector<DictionaryLookup::Sense> readSenses(const Json& answer) {
    std::vector<DictionaryLookup::Sense> senses;
    const Json* list = json::array(answer, "senses");
    if (!list) {
        return senses;
    }
    senses.reserve(list->size());
    for (const Json& item : *list) {
        if (!item.is_object()) {
            return {};
        }
        senses.push_back({json::string(item, "korean").value_or(""),
                          json::string(item, "definition").value_or(""),
                          json::string(item, "example").value_or(""),
                          json::string(item, "pos").value_or("")});
    }
    return senses;
}

}  // namespace

DictionaryLookup::Outcome DictionaryLookup::parse(std::string_view data, const std::string& word) {
    auto decoded = json::parse(data);
    if (!decoded) {
        return fail(CallFailure::badShape());
    }
    return read(*decoded, word);
}

DictionaryLookup::Outcome DictionaryLookup::read(const Json& answer, const std::string& word) {
    if (!answer.is_object() || answer.empty()) {
        return fail(CallFailure::badShape());
    }
    auto statusText = json::string(answer, "status");
    if (!statusText) {
        return fail(CallFailure::badShape());
    }
    if (*statusText == "no_db") {
        return fail(CallFailure::authRequired());
    }
    auto status = dictionaryStatusFromString(*statusText);
    if (!status) {
        return fail(CallFailure::badShape());
    }

    Result result;
    result.status = *status;
    result.word = json::string(answer, "word").value_or(word);
    result.lemma = json::string(answer, "lemma");
    result.phonetic = json::string(answer, "phonetic");
    result.senses = readSenses(answer);
    static const Json emptyObject = Json::object();
    const Json* diagnostics = json::object(answer, "_diag");
    const Json& diag = diagnostics ? *diagnostics : emptyObject;
    result.ranked = json::boolean(diag, "ranked").value_or(false);
    result.matchedBy = json::string(diag, "matched_by");
    result.titleVectorFound = json::boolean(diag, "title_vec_found");
    result.serverMs = json::number(diag, "ms_server");
    return result;
}

}  // namespace parlendo
