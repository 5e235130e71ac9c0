#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "lookup/DictionaryLookup.h"
#include "server/CallFailure.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// Senses made on demand by the backend for a word the dictionary lacks, in the context of the
// window title: the lemma rule, the request body and the reading of the answer.
struct SenseGeneration {
    static constexpr std::string_view path = "/functions/v1/generate-sense";
    static constexpr double timeout = 8.0;
    static constexpr size_t maxLemmaLength = 45;  // code points
    static const std::array<std::string_view, 9> knownReasons;

    // How one generation ended.
    class Outcome {
      public:
        struct Made {
            DictionaryLookup::Result result;
            bool operator==(const Made&) const = default;
        };
        // The server refused; a known reason or "other".
        struct Rejected {
            std::string reason;
            bool operator==(const Rejected&) const = default;
        };
        struct Failed {
            CallFailure failure;
            bool operator==(const Failed&) const = default;
        };
        struct NotAWord {
            bool operator==(const NotAWord&) const = default;
        };
        using Value = std::variant<Made, Rejected, Failed, NotAWord>;

        Outcome(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design
        static Outcome made(DictionaryLookup::Result result) {
            return Value{Made{std::move(result)}};
        }
        static Outcome rejected(std::string reason) { return Value{Rejected{std::move(reason)}}; }
        static Outcome failed(CallFailure failure) { return Value{Failed{std::move(failure)}}; }
        static Outcome notAWord() { return Value{NotAWord{}}; }

        const Value& value() const { return value_; }
        template <class T>
        const T* as() const {
            return std::get_if<T>(&value_);
        }
        bool operator==(const Outcome&) const = default;

        // "made", "rejected_<reason>", "not_a_word" or "failed_<log reason>".
        std::string label() const;

      private:
        Value value_;
    };

    // Why the word lookup did not ask for generation.
    enum class Skip { noTitle, lemmaInvalid, remembered };

    // The word trimmed and lower-cased, when it is 1 to 45 code points of an ASCII letter
    // followed by letters, apostrophes and hyphens; nothing otherwise.
    static std::optional<std::string> lemma(std::string_view word);

    static Json params(const std::string& lemma, const std::string& titleKey,
                       const std::optional<std::string>& appVersion, const std::string& requestID);

    // Reads an answer: "rejected" with its reason, or "ok" with the senses in the dictionary's
    // shape. Every sense needs its Korean meaning and the answer a lemma, else badShape.
    static Outcome parse(std::string_view data, const std::string& word);
};

const char* toString(SenseGeneration::Skip skip);
std::optional<SenseGeneration::Skip> senseGenerationSkipFromString(std::string_view text);

// Asks the backend to generate senses. Called from any thread; the completion runs on the
// thread that delivered the server's answer. Never fails other than through the outcome.
class SenseGenerating {
  public:
    virtual ~SenseGenerating() = default;
    virtual void generate(std::string lemma, std::string titleKey, std::string word,
                          Completion<void(SenseGeneration::Outcome)> completion) = 0;
};

}  // namespace parlendo
