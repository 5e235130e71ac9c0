#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "foundation/Regex.h"
#include "foundation/Uuid.h"

namespace parlendo {
namespace {

TEST(Regex, SearchFindsAMatchAnywhereMatchesNeedsTheWhole) {
    const Regex word("[a-z]+");
    EXPECT_TRUE(word.search("123 abc 456"));
    EXPECT_FALSE(word.matches("123 abc 456"));
    EXPECT_TRUE(word.matches("abc"));
    EXPECT_FALSE(word.search("한국어 123"));
    EXPECT_TRUE(Regex("^한").search("한국어"));
}

TEST(Regex, DollarAlsoMatchesBeforeAFinalLineBreak) {
    // ICU's "$" matches before a line terminator at the end of the input, so anchored searches
    // accept "abc\n"; callers that need the exact text use matches().
    const Regex anchored("^[a-z]+$");
    EXPECT_TRUE(anchored.search("abc\n"));
    EXPECT_FALSE(anchored.matches("abc\n"));
    EXPECT_FALSE(anchored.search("abc\nx"));
}

TEST(Regex, GroupsReplacementAndAllMatches) {
    const Regex pair("(\\w+)=(\\d+)");
    const auto first = pair.firstMatch("x a=1, b=22");
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, (std::vector<std::string>{"a=1", "a", "1"}));
    EXPECT_FALSE(pair.firstMatch("nothing"));
    EXPECT_EQ(pair.replaceAll("a=1, b=22", "$2:$1"), "1:a, 22:b");
    EXPECT_EQ(pair.allMatches("a=1, b=22, c=x"), (std::vector<std::string>{"a=1", "b=22"}));
    // Empty matches do not loop forever.
    EXPECT_EQ(Regex("x*").allMatches("abc").size(), 4u);
    EXPECT_EQ(Regex("\\s+").replaceAll("  한  국 어 ", " "), " 한 국 어 ");
}

TEST(Regex, CaseInsensitiveAndUnicodeAware) {
    const Regex ci("straße", Regex::Flags::caseInsensitive);
    EXPECT_TRUE(ci.search("STRASSE"));  // full case folding
    EXPECT_TRUE(ci.search("Straße"));
    EXPECT_TRUE(Regex("^\\p{Hangul}+$").search("한국어"));
    EXPECT_EQ(Regex(".").allMatches("가😀").size(), 2u);  // code points, not UTF-16 halves
}

TEST(Regex, BadPatternsAndBadTextFailSafely) {
    EXPECT_FALSE(Regex::make("(unclosed"));
    EXPECT_FALSE(Regex::make("[z-a]"));
    ASSERT_TRUE(Regex::make("ok"));
    EXPECT_TRUE(Regex::make("ok")->valid());
    // Invalid UTF-8 reads as U+FFFD.
    EXPECT_TRUE(Regex("\\x{FFFD}")
                    .search("a\xFF"
                            "b"));
    EXPECT_EQ(Regex("b").replaceAll("a\xFF"
                                    "b",
                                    "c"),
              "a\xEF\xBF\xBD"
              "c");
}

TEST(Regex, OnePatternServesManyThreads) {
    const Regex pattern("^sb_publishable_[A-Za-z0-9_-]{16,256}$");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const bool good = (i + t) % 2 == 0;
                const std::string key = good ? "sb_publishable_" + std::string(20, 'a')
                                             : "sb_secret_" + std::to_string(i);
                if (pattern.search(key) != good) {
                    failures.fetch_add(1);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST(Uuid, RandomVersionFourInCanonicalForm) {
    std::vector<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string upper = uuid::makeUpper();
        ASSERT_TRUE(uuid::isCanonical(upper)) << upper;
        EXPECT_TRUE(Regex("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")
                        .matches(upper))
            << upper;
        const std::string lower = uuid::makeLower();
        EXPECT_TRUE(Regex("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
                        .matches(lower))
            << lower;
        seen.push_back(upper);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    for (const std::string bad :
         {"", "0123456789abcdef0123456789abcdef0123", "01234567-89ab-cdef-0123-456789abcdeg",
          "01234567-89ab-cdef-0123_456789abcdef", "{1234567-89ab-cdef-0123-456789abcdef"}) {
        EXPECT_FALSE(uuid::isCanonical(bad)) << bad;
    }
    EXPECT_TRUE(uuid::isCanonical("01234567-89ab-CDEF-0123-456789abcdef"));
}

}  // namespace
}  // namespace parlendo
