#include <gtest/gtest.h>

#include <string>

#include "foundation/Text.h"

namespace parlendo {
namespace {

struct Counts {
    size_t codePoints;
    size_t characters;
    size_t utf16;
};

Counts countsOf(std::string_view s) {
    return {text::codePointCount(s), text::characterCount(s), text::utf16Count(s)};
}

void expectCounts(std::string_view s, Counts expected) {
    const Counts got = countsOf(s);
    EXPECT_EQ(got.codePoints, expected.codePoints) << s;
    EXPECT_EQ(got.characters, expected.characters) << s;
    EXPECT_EQ(got.utf16, expected.utf16) << s;
}

TEST(Text, CountsTheThreeUnits) {
    expectCounts("", {0, 0, 0});
    expectCounts("word", {4, 4, 4});
    expectCounts("한국어", {3, 3, 3});
    expectCounts("\u1112\u1161\u11AB", {3, 1, 3});   // 한 as conjoining jamo
    expectCounts("cafe\u0301", {5, 4, 5});           // combining acute
    expectCounts("a\u0301\u0302\u0303", {4, 1, 4});  // stacked marks
    expectCounts("😀", {1, 1, 2});
    expectCounts("👍🏽", {2, 1, 4});         // skin tone
    expectCounts("👨\u200D👩\u200D👧", {5, 1, 8});  // ZWJ family
    expectCounts("🇰🇷🇺🇸", {4, 2, 8});             // two flags
    expectCounts("a\r\nb", {4, 3, 4});           // CR LF is one character
    expectCounts("안녕 👋🏻 hello\u0308!", {13, 11, 15});
}

TEST(Text, AsciiFastPathAgreesWithTheFullBreaker) {
    for (const std::string s : {"a\r\n\r\nb", "\r\r\n\n", "\t x \x01\x7F", "\n\r"}) {
        // Adding one non-ASCII character forces the full grapheme breaker.
        EXPECT_EQ(text::characterCount(s) + 1, text::characterCount(s + "\u00E9")) << s;
    }
}

TEST(Text, InvalidUtf8ReadsAsReplacementCharacters) {
    EXPECT_TRUE(text::isValidUtf8(""));
    EXPECT_TRUE(text::isValidUtf8("한글 😀 \xF4\x8F\xBF\xBF"));
    for (const std::string bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "a\xF0\x9F\x98", "\x80", "\xE2\x82"}) {
        EXPECT_FALSE(text::isValidUtf8(bad)) << bad;
        const std::string clean = text::sanitize(bad);
        EXPECT_TRUE(text::isValidUtf8(clean));
        EXPECT_NE(clean.find("\xEF\xBF\xBD"), std::string::npos);
        // Every helper sees the same replacement characters.
        EXPECT_EQ(text::codePointCount(bad), text::codePointCount(clean));
        EXPECT_EQ(text::characterCount(bad), text::characterCount(clean));
        EXPECT_EQ(text::utf16Count(bad), text::utf16Count(clean));
        EXPECT_EQ(text::toCodePoints(bad), text::toCodePoints(clean));
        EXPECT_EQ(text::nfc(bad), text::nfc(clean));
    }
    // A truncated sequence at the end is one replacement, not one per byte.
    EXPECT_EQ(text::toCodePoints("a\xF0\x9F\x98"), (std::u32string{U'a', U'\uFFFD'}));
    EXPECT_EQ(text::sanitize("ok"), "ok");
}

TEST(Text, CodePointConversionRoundTripsAndRepairs) {
    const std::string mixed = "A가😀\u0301";
    EXPECT_EQ(text::toCodePoints(mixed), (std::u32string{U'A', U'가', U'😀', U'\u0301'}));
    EXPECT_EQ(text::fromCodePoints(text::toCodePoints(mixed)), mixed);
    EXPECT_EQ(text::fromCodePoint(U'한'), "한");
    // Surrogates and values past U+10FFFF cannot be encoded: they become U+FFFD.
    EXPECT_EQ(text::fromCodePoints(std::u32string{0xD800, 0x110000, U'a'}),
              "\xEF\xBF\xBD\xEF\xBF\xBD"
              "a");
}

TEST(Text, CharacterPrefixNeverSplitsACharacter) {
    EXPECT_EQ(text::characterPrefix("👨\u200D👩\u200D👧abc", 1), "👨\u200D👩\u200D👧");
    EXPECT_EQ(text::characterPrefix("e\u0301x", 1), "e\u0301");
    EXPECT_EQ(text::characterPrefix("🇰🇷🇺🇸", 1), "🇰🇷");
    EXPECT_EQ(text::characterPrefix("한국어", 2), "한국");
    EXPECT_EQ(text::characterPrefix("한국어", 10), "한국어");
    EXPECT_EQ(text::characterPrefix("한국어", 0), "");
    EXPECT_EQ(text::characterPrefix("", 3), "");
    EXPECT_EQ(text::characterPrefix("a\xFF"
                                    "b",
                                    2),
              "a\xEF\xBF\xBD");
}

TEST(Text, Normalisation) {
    EXPECT_EQ(text::nfc("\u1112\u1161\u11AB"), "한");
    EXPECT_EQ(text::nfc("cafe\u0301"), "caf\u00E9");
    EXPECT_EQ(text::nfc("caf\u00E9"), "caf\u00E9");
    EXPECT_EQ(text::nfkc("\uFB01le \u2460 \uFF21"), "file 1 A");
    EXPECT_EQ(text::nfc("plain ascii"), "plain ascii");
}

TEST(Text, AsciiHelpersLeaveOtherTextAlone) {
    // Full mappings, no context: the final sigma stays σ, İ gains its dot, bytes that are not
    // UTF-8 read as U+FFFD.
    EXPECT_EQ(text::lowercased("ΟΔΟΣ ΣΑΣ"), "οδοσ σασ");
    EXPECT_EQ(text::lowercased("İSTANBUL Straße ÀÉ"), "i\u0307stanbul straße àé");
    EXPECT_EQ(text::lowercased("AB\xFF"), "ab\uFFFD");
    EXPECT_EQ(text::asciiLower("Content-TYPE Ä"), "content-type Ä");
    EXPECT_EQ(text::asciiUpper("x-region ß"), "X-REGION ß");
    EXPECT_TRUE(text::asciiIEquals("X-Client-Info", "x-client-info"));
    EXPECT_FALSE(text::asciiIEquals("ß", "SS"));
    EXPECT_FALSE(text::asciiIEquals("abc", "abcd"));
    EXPECT_EQ(text::trimAscii(" \t\r\n x y \n"), "x y");
    EXPECT_EQ(text::trimAscii("\u00A0x\u00A0"), "\u00A0x\u00A0");  // no-break space stays
    EXPECT_EQ(text::trimAscii("   "), "");
    EXPECT_TRUE(text::startsWith("/rest/v1/x", "/rest/v1/"));
    EXPECT_TRUE(text::endsWith("a.supabase.co", ".supabase.co"));
    EXPECT_FALSE(text::endsWith("co", ".supabase.co"));
}

}  // namespace
}  // namespace parlendo
