#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// Decides from the text alone whether a captured selection is one English word to look up, an
// English sentence to translate, or something to ignore, with a short Korean reason for a skip.
// Pure functions; callable from any thread. Any input, invalid UTF-8 included, gets a decision;
// the texts handed out are valid UTF-8 (invalid bytes read as U+FFFD).
class InputClassify {
  public:
    // The cleaned word to look up.
    struct Word {
        std::string text;
        bool operator==(const Word&) const = default;
    };
    // The trimmed text to translate.
    struct Sentence {
        std::string text;
        bool operator==(const Sentence&) const = default;
    };
    // Nothing to do. The reason is a Korean label for the log and notices, or nothing when the
    // selection was empty or had no letter or digit at all.
    struct Skip {
        std::optional<std::string> reason;
        bool operator==(const Skip&) const = default;
    };
    using Decision = std::variant<Word, Sentence, Skip>;

    // Longest word and longest sentence, in code points.
    static constexpr size_t maxWordLength = 45;
    static constexpr size_t maxSentenceLength = 300;

    static Decision classify(std::string_view text);

    // The text without leading and trailing characters that are neither letters nor numbers.
    static std::string cleanWord(std::string_view text);

    // Nothing when a multi-word text may be translated, else the skip reason.
    static std::optional<std::string> sentenceGuard(std::string_view text);

    // The code-point count of the trimmed text when it is a multi-word text over the sentence
    // limit, else nothing.
    static std::optional<size_t> overLength(std::string_view text);
};

}  // namespace parlendo
