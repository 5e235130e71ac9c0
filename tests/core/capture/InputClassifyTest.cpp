#include <gtest/gtest.h>

#include "capture/InputClassify.h"

#include <string>

namespace parlendo {

void PrintTo(const InputClassify::Word& w, std::ostream* os) {
    *os << "word(" << w.text << ")";
}
void PrintTo(const InputClassify::Sentence& s, std::ostream* os) {
    *os << "sentence(" << s.text << ")";
}
void PrintTo(const InputClassify::Skip& s, std::ostream* os) {
    *os << "skip(" << s.reason.value_or("no reason") << ")";
}

namespace {

using Decision = InputClassify::Decision;

Decision word(std::string text) {
    return InputClassify::Word{std::move(text)};
}
Decision sentence(std::string text) {
    return InputClassify::Sentence{std::move(text)};
}
Decision skip(std::optional<std::string> reason = std::nullopt) {
    return InputClassify::Skip{std::move(reason)};
}

struct Case {
    const char* name;
    std::string input;
    Decision expected;
};

void expectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const Decision got = InputClassify::classify(c.input);
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(InputClassify, SingleTokens) {
    expectAll({
        {"word with full stop and spaces", "  Hello.  ", word("Hello")},
        {"typographic quotes", "\u201Cquoted\u201D", word("quoted")},
        {"inner punctuation stays", "(don't)", word("don't")},
        {"abbreviation keeps inner stops", "e.g.", word("e.g")},
        {"hyphenated", "\u2018well-known\u2019,", word("well-known")},
        {"only punctuation", "...", skip()},
        {"only whitespace", " \t\n\u3000\u00A0", skip()},
        {"digits only", "123", skip("단어 아님")},
        {"Korean word", "\uD55C\uAD6D\uC5B4", skip("단어 아님")},
        {"45 letters", std::string(45, 'a'), word(std::string(45, 'a'))},
        {"46 letters", std::string(46, 'a'), skip("단어 아님")},
        {"trailing combining mark stays with its letter", "cafe\u0301!", word("cafe\u0301")},
        {"emoji around a word", "\U0001F600hello\U0001F44D\U0001F3FD", word("hello")},
        {"flag only", "\U0001F1F0\U0001F1F7", skip()},
        {"zero width space is not whitespace", "a\u200Bb", word("a\u200Bb")},
        {"Korean around English is kept", "\uD55C\uAE00English", word("\uD55C\uAE00English")},
    });
}

TEST(InputClassify, MultiWordTexts) {
    expectAll({
        {"one short run", "I am", skip("영단어 부족")},
        {"two runs", "I am here", sentence("I am here")},
        {"line break is whitespace", "hello\nworld", sentence("hello\nworld")},
        {"no-break space is whitespace", "hello\u00A0world", sentence("hello\u00A0world")},
        {"no English", "\uC548\uB155 \uD558\uC138\uC694", skip("영문 없음")},
        // Three one-letter words fail the word-run test before the code test is reached.
        {"single letters", "a = b + c", skip("영단어 부족")},
        {"two code characters", "aa = bb + cc", skip("코드/URL 꼴")},
        {"one code character passes", "this = that", sentence("this = that")},
        {"url", "see https://example.com/a/b", skip("코드/URL 꼴")},
        {"call", "call foo(bar) now", skip("코드 꼴(함수 호출)")},
        {"index brackets are code characters", "use it[0] here", skip("코드/URL 꼴")},
        {"opener after underscore", "use my_(x) here", skip("코드 꼴(함수 호출)")},
        {"digit before bracket", "see 3(a) below", skip("코드 꼴(함수 호출)")},
        {"opener after space", "call foo (bar) now", sentence("call foo (bar) now")},
        {"opener at start", "(note) this is fine", sentence("(note) this is fine")},
        {"Korean letter before opener", "\uD55C(ab) is it", skip("코드 꼴(함수 호출)")},
        {"trimmed before translating", "\n  Good morning, all.  \n",
         sentence("Good morning, all.")},
        {"combining mark turns a code character into another", "a =\u0338 b and cc",
         sentence("a =\u0338 b and cc")},
    });
}

TEST(InputClassify, LengthLimitsCountCodePoints) {
    const std::string over = "ab " + std::string(298, 'c');  // 301 code points
    EXPECT_EQ(InputClassify::classify(over), skip("길이 초과(301자)"));
    EXPECT_EQ(InputClassify::overLength("  " + over + "  "), 301u);

    const std::string atLimit = "ab " + std::string(297, 'c');
    EXPECT_EQ(InputClassify::classify(atLimit), sentence(atLimit));
    EXPECT_EQ(InputClassify::overLength(atLimit), std::nullopt);

    // Without whitespace it is a single token, judged as a word.
    const std::string token(301, 'a');
    EXPECT_EQ(InputClassify::overLength(token), std::nullopt);
    EXPECT_EQ(InputClassify::classify(token), skip("단어 아님"));

    // 150 Hangul syllables and 151 spaces are 301 code points but far more bytes.
    std::string korean;
    for (int i = 0; i < 150; ++i) {
        korean += "\uAC00 ";
    }
    korean = "x" + korean + "y";
    EXPECT_EQ(InputClassify::overLength(korean), 302u);
    // A word of 45 emoji-free accented letters written with combining marks is 90 code points.
    std::string decomposed;
    for (int i = 0; i < 23; ++i) {
        decomposed += "e\u0301";
    }
    EXPECT_EQ(InputClassify::classify(decomposed), skip("단어 아님"));
}

TEST(InputClassify, HostileInputIsClassifiedNotFatal) {
    // Invalid UTF-8 reads as replacement characters; results are always valid UTF-8.
    EXPECT_EQ(InputClassify::classify("ab\xFF\xFE"
                                      "cd"),
              word("ab\uFFFD\uFFFDcd"));
    EXPECT_EQ(InputClassify::classify("\xC3"), skip());
    EXPECT_EQ(InputClassify::classify(std::string("the\xE2\x80 quick fox")),
              sentence("the\uFFFD quick fox"));
    EXPECT_EQ(InputClassify::classify(std::string("nul\0byte", 8)),
              word(std::string("nul\0byte", 8)));

    const std::string megabyteToken(1 << 20, 'a');
    EXPECT_EQ(InputClassify::classify(megabyteToken), skip("단어 아님"));
    std::string megabyteText;
    while (megabyteText.size() < (1u << 20)) {
        megabyteText += "\uD55C\uAE00 words \xF0\x9F\x98\x80 ";
    }
    const auto decision = InputClassify::classify(megabyteText);
    ASSERT_TRUE(std::holds_alternative<InputClassify::Skip>(decision));
    EXPECT_TRUE(std::get<InputClassify::Skip>(decision).reason->starts_with("길이 초과("));
    std::string garbage;
    for (int i = 0; i < (1 << 20); ++i) {
        garbage.push_back(static_cast<char>((i * 131) & 0xFF));
    }
    const auto garbageDecision = InputClassify::classify(garbage);
    EXPECT_TRUE(std::holds_alternative<InputClassify::Skip>(garbageDecision));
}

}  // namespace
}  // namespace parlendo
