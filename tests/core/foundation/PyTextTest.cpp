#include <gtest/gtest.h>

#include "foundation/PyText.h"
#include "foundation/SHA256.h"

namespace parlendo {
namespace {

TEST(PyText, StripUsesPythonsWhitespaceSet) {
    EXPECT_EQ(PyText::strip("\x1C"
                            "word\u0085"),
              "word");
    EXPECT_EQ(PyText::strip("\u200Bword"), "\u200Bword");  // zero-width space is not whitespace
    EXPECT_EQ(PyText::strip("\u3000 a b \t\n"), "a b");
    EXPECT_EQ(PyText::strip(" \u2028\u00A0 "), "");
    EXPECT_EQ(PyText::strip(""), "");
    EXPECT_TRUE(PyText::isSpace(0x202F));
    EXPECT_FALSE(PyText::isSpace(0x200B));
    EXPECT_FALSE(PyText::isSpace(0x180E));
}

TEST(PyText, CountAndPrefixWorkOnCodePoints) {
    EXPECT_EQ(PyText::count("cafe\u0301"), 5u);
    EXPECT_EQ(PyText::count("caf\u00E9"), 4u);
    EXPECT_EQ(PyText::count("🇰🇷"), 2u);
    EXPECT_EQ(PyText::count("한국어"), 3u);
    EXPECT_EQ(PyText::prefix("cafe\u0301", 4), "cafe");
    EXPECT_EQ(PyText::prefix("abc", 10), "abc");
    EXPECT_EQ(PyText::prefix("abc", 0), "");
    EXPECT_EQ(PyText::prefix("🇰🇷x", 1), "🇰");
}

TEST(PyText, InvalidUtf8ReadsAsReplacementCharacters) {
    const std::string bad = std::string("a\xff\xfe") + "b";
    EXPECT_EQ(PyText::count(bad), 4u);
    EXPECT_EQ(PyText::prefix(bad, 2), "a\uFFFD");
    EXPECT_EQ(PyText::strip(" " + bad + " "),
              "a\uFFFD\uFFFD"
              "b");
}

TEST(PyText, LowerAppliesFullMappingAndFinalSigma) {
    EXPECT_EQ(PyText::lower("Hello WORLD"), "hello world");
    EXPECT_EQ(PyText::lower("\u039F\u0394\u039F\u03A3"), "\u03BF\u03B4\u03BF\u03C2");
    EXPECT_EQ(PyText::lower("\u03A3"), "\u03C3");
    EXPECT_EQ(PyText::lower("\u0391\u03A3."), "\u03B1\u03C2.");
    EXPECT_EQ(PyText::lower("\u03A3\u0391"), "\u03C3\u03B1");
    EXPECT_EQ(PyText::lower("\u0130"), "i\u0307");
    EXPECT_EQ(PyText::lower("ÀÉÎ 한국"), "àéî 한국");
}

TEST(PyText, SameComparesCodePointsWithoutNormalising) {
    EXPECT_FALSE(PyText::same("\u00E9", "e\u0301"));
    EXPECT_TRUE(PyText::same("abc", "abc"));
    EXPECT_TRUE(PyText::same("\xff", "\xfe"));  // both read as U+FFFD
}

TEST(SHA256, GivesTheStandardDigestInLowerHex) {
    EXPECT_EQ(SHA256::hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SHA256::hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(SHA256::hex(std::string("\0\xff", 2)).size(), 64u);
}

}  // namespace
}  // namespace parlendo
