#include "lookup/GeneratingDictionary.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "foundation/WorkerQueue.h"
#include "lookup/LookupTimes.h"
#include "lookup/TitleKey.h"

#include <optional>

namespace parlendo {

namespace {

WordLookupResult labelled(DictionaryLookup::Result result, std::string label) {
    return WordLookupOutcome{std::move(result), std::move(label)};
}

// A refusal that asking again will not change: the server understood the request and said no
// (a 4xx answer other than a time-out or too many requests).
bool refusedForGood(const CallFailure& failure) {
    std::optional<int> status;
    if (const auto* rejected = failure.as<CallFailure::Rejected>()) {
        status = rejected->status;
    } else if (const auto* detail = failure.as<CallFailure::RejectedDetail>()) {
        status = detail->rejection.status;
    }
    return status && *status >= 400 && *status < 500 && *status != 408 && *status != 429;
}

}  // namespace

GeneratingDictionary::GeneratingDictionary(std::shared_ptr<DictionaryService> dictionary,
                                           std::shared_ptr<SenseGenerating> generator,
                                           std::shared_ptr<NegativeCache> notWords,
                                           ExecutorPtr timers)
    : parts_(std::make_shared<const Parts>(
          Parts{std::move(dictionary), std::move(generator), std::move(notWords),
                timers ? std::move(timers) : SerialQueue::timers()})) {}

DictionaryLookup::Result GeneratingDictionary::notFound(const std::string& word,
                                                        std::optional<std::string> lemma) {
    DictionaryLookup::Result result;
    result.status = DictionaryLookup::Status::notFound;
    result.word = word;
    result.lemma = std::move(lemma);
    return result;
}

void GeneratingDictionary::lookup(std::string word, std::optional<std::string> title,
                                  std::function<void()> onGenerating,
                                  Completion<void(WordLookupResult)> completion) {
    std::string lower = PyText::lower(word);
    if (parts_->notWords->contains(lower)) {
        Log::write("lookup", "단어 아님 기억 — 서버를 부르지 않음 word=" + Log::redact(lower));
        completion(
            labelled(notFound(word, std::nullopt), toString(SenseGeneration::Skip::remembered)));
        return;
    }
    auto parts = parts_;
    Deadline::race<DictionaryLookup::Outcome>(
        LookupTimes::dictionaryDeadline, fail(CallFailure::timeout()), *parts->timers,
        [dictionary = parts->dictionary, word,
         title](Completion<void(DictionaryLookup::Outcome)> done) mutable {
            dictionary->lookup(std::move(word), std::move(title), std::move(done));
        },
        [parts, word, lower = std::move(lower), title, onGenerating = std::move(onGenerating),
         completion = std::move(completion)](DictionaryLookup::Outcome found) mutable {
            afterDictionary(parts, std::move(word), std::move(lower), title, std::move(found),
                            onGenerating, std::move(completion));
        });
}

void GeneratingDictionary::afterDictionary(const std::shared_ptr<const Parts>& parts,
                                           std::string word, std::string lower,
                                           const std::optional<std::string>& title,
                                           DictionaryLookup::Outcome found,
                                           const std::function<void()>& onGenerating,
                                           Completion<void(WordLookupResult)> completion) {
    if (!found) {
        completion(fail(std::move(found.error())));
        return;
    }
    switch (found->status) {
        case DictionaryLookup::Status::ok:
            completion(WordLookupOutcome{std::move(*found), std::nullopt});
            return;
        case DictionaryLookup::Status::notFound:
            break;
    }

    std::optional<std::string> lemma = found->lemma;
    auto key = TitleKey::key(title);
    if (!key) {
        completion(labelled(notFound(word, lemma), toString(SenseGeneration::Skip::noTitle)));
        return;
    }
    auto sendLemma = SenseGeneration::lemma(lemma ? *lemma : word);
    if (!sendLemma) {
        completion(labelled(notFound(word, lemma), toString(SenseGeneration::Skip::lemmaInvalid)));
        return;
    }
    if (onGenerating) {
        onGenerating();
    }
    using Outcome = SenseGeneration::Outcome;
    Deadline::race<Outcome>(
        LookupTimes::generationDeadline, Outcome::failed(CallFailure::timeout()), *parts->timers,
        [generator = parts->generator, sendLemma = *sendLemma, key = *key,
         word](Completion<void(Outcome)> done) mutable {
            generator->generate(std::move(sendLemma), std::move(key), std::move(word),
                                std::move(done));
        },
        [notWords = parts->notWords, word, lower = std::move(lower), lemma,
         completion = std::move(completion)](Outcome generated) mutable {
            auto notFoundResult = [&] {
                return notFound(word, lemma);
            };
            std::visit(
                overloaded{
                    [&](const Outcome::Made& made) { completion(labelled(made.result, "made")); },
                    [&](const Outcome::Rejected&) {
                        completion(labelled(notFoundResult(), "rejected"));
                    },
                    [&](const Outcome::NotAWord&) {
                        notWords->insert(lower);
                        completion(labelled(notFoundResult(), "not_a_word"));
                    },
                    [&](const Outcome::Failed& failed) {
                        const CallFailure& failure = failed.failure;
                        const auto* detail = failure.as<CallFailure::RejectedDetail>();
                        if ((detail && detail->rejection.code == "app_update_required") ||
                            failure.is<CallFailure::Stale>()) {
                            completion(fail(failure));
                        } else if (failure.is<CallFailure::Quota>()) {
                            completion(labelled(notFoundResult(), "quota"));
                        } else if (refusedForGood(failure)) {
                            completion(labelled(notFoundResult(), "refused"));
                        } else {
                            completion(labelled(notFoundResult(), "failed"));
                        }
                    },
                },
                generated.value());
        });
}

}  // namespace parlendo
