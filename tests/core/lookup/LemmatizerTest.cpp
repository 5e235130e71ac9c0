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
