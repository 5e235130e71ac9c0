#pragma once

#include "lookup/SentenceTranslating.h"

#include <deque>
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
        held_.push_back(std::move(completion));
    }

    // Answers the oldest held request; false when none is held.
    bool answer(TranslationClient::Outcome outcome) {
        Completion<void(TranslationClient::Outcome)> completion;
        {
            std::lock_guard lock(mutex_);
            if (held_.empty()) {
                return false;
            }
            completion = std::move(held_.front());
            held_.pop_front();
        }
        completion(std::move(outcome));
        return true;
    }

    static TranslationClient::Outcome korean(const std::string& original,
                                             const std::string& korean) {
        return TranslationClient::Result{original, korean};
    }

    std::optional<TranslationClient::Outcome> reply;
    std::vector<std::string> texts;

  private:
    std::mutex mutex_;
    std::deque<Completion<void(TranslationClient::Outcome)>> held_;
};

}  // namespace parlendo::testing
