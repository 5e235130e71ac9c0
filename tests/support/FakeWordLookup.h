#pragma once

#include "lookup/WordLookingUp.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// A word lookup that answers `reply` at once when it is set, else holds each request until the
// test answers it. Records every request. Thread-safe.
class FakeWordLookup final : public WordLookingUp {
  public:
    struct Request {
        std::string word;
        std::optional<std::string> title;
        std::function<void()> onGenerating;
        Completion<void(WordLookupResult)> completion;
    };

    FakeWordLookup() = default;
    // Requests still held are cancelled: the test chose not to answer them.
    ~FakeWordLookup() override {
        for (Request& request : held) {
            request.completion.drop("the test ended without answering the lookup");
        }
    }
    FakeWordLookup(const FakeWordLookup&) = delete;
    FakeWordLookup& operator=(const FakeWordLookup&) = delete;

    void lookup(std::string word, std::optional<std::string> title,
                std::function<void()> onGenerating,
                Completion<void(WordLookupResult)> completion) override {
        std::unique_lock lock(mutex_);
        words.push_back(word);
        titles.push_back(title);
        if (reply) {
            auto answer = *reply;
            lock.unlock();
            completion(std::move(answer));
            return;
        }
        held.push_back(Request{std::move(word), std::move(title), std::move(onGenerating),
                               std::move(completion)});
    }

    // Answers the oldest held request; false when none is held.
    bool answer(WordLookupResult result) {
        std::optional<Request> request = take();
        if (!request) {
            return false;
        }
        request->completion(std::move(result));
        return true;
    }
    // Tells the oldest held request's caller that generation starts.
    void generating() {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (!held.empty()) {
                call = held.front().onGenerating;
            }
        }
        if (call) {
            call();
        }
    }
    size_t waiting() const {
        std::lock_guard lock(mutex_);
        return held.size();
    }

    // A found word with these (korean, definition) senses.
    static WordLookupResult found(const std::string& word,
                                  std::vector<std::pair<std::string, std::string>> senses,
                                  std::optional<std::string> lemma = std::nullopt) {
        DictionaryLookup::Result result;
        result.status = DictionaryLookup::Status::ok;
        result.word = word;
        result.lemma = std::move(lemma);
        result.phonetic = "/fəˈnɛtɪk/";
        for (auto& [korean, definition] : senses) {
            DictionaryLookup::Sense sense;
            sense.korean = korean;
            sense.definition = definition;
            result.senses.push_back(sense);
        }
        return WordLookupOutcome{result, std::nullopt};
    }
    static WordLookupResult missing(const std::string& word,
                                    std::optional<std::string> generation = std::nullopt) {
        DictionaryLookup::Result result;
        result.status = DictionaryLookup::Status::notFound;
        result.word = word;
        return WordLookupOutcome{result, std::move(generation)};
    }

    std::optional<WordLookupResult> reply;
    std::vector<std::string> words;
    std::vector<std::optional<std::string>> titles;

  private:
    std::optional<Request> take() {
        std::lock_guard lock(mutex_);
        if (held.empty()) {
            return std::nullopt;
        }
        Request request = std::move(held.front());
        held.pop_front();
        return request;
    }

    mutable std::mutex mutex_;
    std::deque<Request> held;
};

}  // namespace parlendo::testing
