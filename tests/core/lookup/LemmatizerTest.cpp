#include <gtest/gtest.h>

#include "lookup/Lemmatizer.h"

namespace parlendo {
namespace {

using Candidates = std::vector<std::string>;

TEST(Lemmatizer, SuffixRulesInOrder) {
    EXPECT_EQ(Lemmatizer::suffixCandidates("studies"), (Candidates{"study", "studi", "studie"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("studied"), (Candidates{"studi", "studie", "study"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("running"), (Candidates{"runn", "runne", "run"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("stopped"), (Candidates{"stopp", "stoppe", "stop"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("seeing"), (Candidates{"see", "seee", "se"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("added"), (Candidates{"add", "adde", "ad"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("biggest"), (Candidates{"bigg", "bigge"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("glasses"), (Candidates{"glass", "glasse"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("faster"), (Candidates{"fast", "faste"}));
}

TEST(Lemmatizer, ShortWordsAndLengthGuards) {
    EXPECT_EQ(Lemmatizer::suffixCandidates("is"), (Candidates{"i"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("bed"), (Candidates{"b", "be"}));
    EXPECT_TRUE(Lemmatizer::suffixCandidates("s").empty());
    EXPECT_TRUE(Lemmatizer::suffixCandidates("a").empty());
    EXPECT_TRUE(Lemmatizer::suffixCandidates("").empty());
    EXPECT_TRUE(Lemmatizer::suffixCandidates("ss").empty());
    EXPECT_TRUE(Lemmatizer::suffixCandidates("glass").empty());
    // "ies" needs four characters, "es" three.
    EXPECT_EQ(Lemmatizer::suffixCandidates("ies"), (Candidates{"i", "ie"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("ing"), Candidates{});
}

TEST(Lemmatizer, CountsCharactersNotBytes) {
    // "é" written as e + combining accent is one character, and it is not an "e".
    EXPECT_EQ(Lemmatizer::suffixCandidates("cafe\u0301ed"),
              (Candidates{"cafe\u0301", "cafe\u0301e"}));
    EXPECT_TRUE(Lemmatizer::suffixCandidates("cafe\u0301d").empty());
    // A multi-byte letter doubled before "ing" counts as a doubled letter.
    EXPECT_EQ(Lemmatizer::suffixCandidates("ééing"), (Candidates{"éé", "éée", "é"}));
    // A final "s" carrying a combining mark is not an "s".
    EXPECT_TRUE(Lemmatizer::suffixCandidates("dogs\u0301").empty());
    EXPECT_EQ(Lemmatizer::suffixCandidates("학생s"), (Candidates{"학생"}));
}

TEST(Lemmatizer, TakesAnyBytes) {
    EXPECT_TRUE(Lemmatizer::suffixCandidates("\xFF").empty());
    EXPECT_TRUE(Lemmatizer::suffixCandidates("\xC3").empty());
    // A damaged byte counts as one character U+FFFD: the rules still cut by characters.
    EXPECT_EQ(Lemmatizer::suffixCandidates("ab\xFFs"), (Candidates{"ab\uFFFD"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("\xE2\x82ing"), (Candidates{"\uFFFD", "\uFFFDe"}));
    EXPECT_EQ(Lemmatizer::suffixCandidates("go\x80\x80"
                                           "ed"),
              (Candidates{"go\uFFFD\uFFFD", "go\uFFFD\uFFFDe", "go\uFFFD"}));
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
        EXPECT_NO_THROW(Lemmatizer::suffixCandidates(bytes + "es"));
        EXPECT_NO_THROW(Lemmatizer::suffixCandidates(std::string(1, static_cast<char>(b))));
    }
}

TEST(Lemmatizer, NeverTheWordItselfNorEmpty) {
    for (const char* word : {"es", "ed", "er", "sss", "eded", "ingings", "iesies", "ested"}) {
        for (const auto& candidate : Lemmatizer::suffixCandidates(word)) {
            EXPECT_FALSE(candidate.empty()) << word;
            EXPECT_NE(candidate, word);
        }
    }
}

}  // namespace
}  // namespace parlendo
