#include "lookup/SenseGeneration.h"

#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "foundation/Text.h"

#include <algorithm>

namespace parlendo {

const std::array<std::string_view, 9> SenseGeneration::knownReasons = {
    "not_a_word",        "no_title",           "provider_shape",
    "korean_invalid",    "definition_invalid", "output_suspicious",
    "base_form_pending", "lemma_mismatch",     "lemma_is_inflection"};

std::string SenseGeneration::Outcome::label() const {
    return std::visit(
        overloaded{
            [](const Made&) -> std::string { return "made"; },
            [](const Rejected& r) -> std::string { return "rejected_" + r.reason; },
            [](const Failed& f) -> std::string { return "failed_" + f.failure.logReason(); },
            [](const NotAWord&) -> std::string { return "not_a_word"; },
        },
        value_);
}

const char* toString(SenseGeneration::Skip skip) {
    switch (skip) {
        case SenseGeneration::Skip::noTitle:
            return "no_title";
        case SenseGeneration::Skip::lemmaInvalid:
            return "lemma_invalid";
        case SenseGeneration::Skip::remembered:
            return "remembered";
    }
    return "no_title";
}

std::optional<SenseGeneration::Skip> senseGenerationSkipFromString(std::string_view text) {
    for (auto skip : {SenseGeneration::Skip::noTitle, SenseGeneration::Skip::lemmaInvalid,
                      SenseGeneration::Skip::remembered}) {
        if (text == toString(skip)) {
            return skip;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SenseGeneration::lemma(std::string_view word) {
    std::string lower = PyText::lower(text::trimWhitespaceAndNewlines(word));
    if (lower.empty() || text::codePointCount(lower) > maxLemmaLength) {
        return std::nullopt;
    }
    auto letter = [](char c) {
        return c >= 'a' && c <= 'z';
    };
    if (!letter(lower.front())) {
        return std::nullopt;
    }
    bool allowed = std::all_of(lower.begin(), lower.end(),
                               [&](char c) { return letter(c) || c == '\'' || c == '-'; });
    if (!allowed) {
        return std::nullopt;
    }
    return lower;
}

Json SenseGeneration::params(const std::string& lemma, const std::string& titleKey,
                             const std::optional<std::string>& appVersion,
                             const std::string& requestID) {
    return Json{{"lemma", lemma},
                {"context_title", titleKey},
                {"context_sentence", nullptr},
                {"app_version", appVersion ? Json(*appVersion) : Json(nullptr)},
                {"request_id", requestID}};
}

SenseGeneration::Outcome SenseGeneration::parse(std::string_view data, const std::string& word) {
    auto answer = json::parse(data);
    if (!answer || !answer->is_object() || answer->empty()) {
        return Outcome::failed(CallFailure::badShape());
    }
    auto status = json::string(*answer, "status");
    if (!status) {
        return Outcome::failed(CallFailure::badShape());
    }
    if (*status == "rejected") {
        std::string reason = json::string(*answer, "reason").value_or("");
        if (reason == "not_a_word") {
            return Outcome::notAWord();
        }
        bool known =
            std::find(knownReasons.begin(), knownReasons.end(), reason) != knownReasons.end();
        return Outcome::rejected(known ? reason : "other");
    }
    if (*status != "ok") {
        return Outcome::failed(CallFailure::badShape());
    }
    auto parsed = DictionaryLookup::read(*answer, word);
    if (!parsed || parsed->senses.empty() || !parsed->lemma || parsed->lemma->empty()) {
        return Outcome::failed(CallFailure::badShape());
    }
    bool everyKorean = std::all_of(parsed->senses.begin(), parsed->senses.end(),
                                   [](const auto& sense) { return !sense.korean.empty(); });
    if (!everyKorean) {
        return Outcome::failed(CallFailure::badShape());
    }
    DictionaryLookup::Result made;
    made.status = DictionaryLookup::Status::ok;
    made.word = word;
    made.lemma = std::move(parsed->lemma);
    made.phonetic = std::move(parsed->phonetic);
    made.senses = std::move(parsed->senses);
    made.ranked = false;
    made.matchedBy = "generated";
    return Outcome::made(std::move(made));
}

}  // namespace parlendo
