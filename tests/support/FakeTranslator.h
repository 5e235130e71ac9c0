#pragma once

#include "HeldCompletions.h"
#include "lookup/SentenceTranslating.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// A translator that answers `reply` at once when it is set, else holds each request until the
// test answers it. Records every text. Thread-safe.
class FakeTranslator final : public SentenceTranslating {
  public:
    void translate(std::string text,
                   Completion<void(TranslationClient::Outcome)> completion) override {
        std::unique_lock lock(mutex_);
        texts.push_back(text);
        if (reply) {
            auto answer = *reply;
            lock.unlock();
            completion(std::move(answer));
            return;
        }
        held_.hold(std::move(completion));
    }

    // Answers the oldest held request; false when none is held.
    bool answer(TranslationClient::Outcome outcome) {
        return held_.answerOldest(std::move(outcome));
    }

    static TranslationClient::Outcome korean(const std::string& original,
                                             const std::string& korean) {
        return TranslationClient::Result{original, korean};
    }

    std::optional<TranslationClient::Outcome> reply;
    std::vector<std::string> texts;

  private:
    std::mutex mutex_;
    HeldCompletions<TranslationClient::Outcome> held_;
};

}  // namespace parlendo::testing
