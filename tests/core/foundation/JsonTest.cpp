#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/Json.h"

namespace parlendo {
namespace {

TEST(Json, ParseRefusesAnythingButOneValue) {
    for (const std::string& bad : {
             std::string(""),
             std::string("   "),
             std::string("{"),
             std::string("{} {}"),
             std::string("{\"a\":1} x"),
             std::string("[1,]"),
             std::string("{'a':1}"),
             std::string("nul"),
             std::string("NaN"),
             std::string("\"\xFF\""),
             std::string("\"\xC0\xAF\""),          // overlong "/"
             std::string("\"\xED\xA0\x80\""),      // an encoded surrogate
             std::string("\"a\\ud800\""),          // a lone escaped surrogate
             std::string("\"tab\tinside\""),       // raw control character
             std::string("{\"a\":1}\0", 8),        // trailing NUL
             std::string("{\"a\":1}\0{junk", 13),  // garbage hidden behind a NUL
             std::string("\x00\x01\x02\x03", 4),
         }) {
        EXPECT_FALSE(json::parse(bad)) << bad;
    }
    EXPECT_TRUE(json::parse(" {\"a\" : [1, 2.5, \"가\", null, true]}\n"));
    EXPECT_TRUE(json::parse("\"\\ud83d\\ude00\""));  // a surrogate pair is fine
}

TEST(Json, ParseSurvivesHostileInput) {
    // Random bytes never throw or crash.
    std::string noise;
    unsigned state = 12345;
    for (int round = 0; round < 2000; ++round) {
        noise.clear();
        for (int i = 0; i < 40; ++i) {
            state = state * 1103515245 + 12345;
            noise.push_back("{}[]\",:0123456789.eE+-tfnul\\ \xC3\xA9\xFF"[(state >> 16) % 33]);
        }
        (void)json::parse(noise);
    }
    // Nesting is limited, so that serialising a parsed value cannot exhaust the stack.
    auto nested = [](int depth) {
        return std::string(static_cast<size_t>(depth), '[') +
               std::string(static_cast<size_t>(depth), ']');
    };
    const auto deepest = json::parse(nested(512));
    ASSERT_TRUE(deepest);
    EXPECT_EQ(json::dump(*deepest), nested(512));
    EXPECT_FALSE(json::parse(nested(513)));
    EXPECT_FALSE(json::parse(nested(100000)));
    EXPECT_FALSE(json::parse(std::string(100000, '{')));
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(json::parse("[\"" + std::string(1000, '[') + "\\\"{\"]"));
    // Numbers too large for a double.
    const auto huge = json::parse("{\"n\": 1e999, \"m\": -1e999}");
    if (huge) {
        EXPECT_FALSE(json::number(*huge, "n"));
        EXPECT_FALSE(json::integer(*huge, "m"));
    }
}

TEST(Json, DumpIsCanonical) {
    const auto value = json::parse(R"({"b":{"y":1,"x":[3,"a/b"]},"a":"한글 é","c":null})");
    ASSERT_TRUE(value);
    EXPECT_EQ(json::dump(*value), R"({"a":"한글 é","b":{"x":[3,"a/b"],"y":1},"c":null})");
    EXPECT_EQ(json::dump(Json("line\nbreak\t\"q\"\\")), R"("line\nbreak\t\"q\"\\")");
}

TEST(Json, DumpNeverThrowsOnInvalidText) {
    Json bad = {{"ok", "fine"},
                {"bad", std::string("a\xFF"
                                    "b")}};
    EXPECT_FALSE(json::dump(bad));
    EXPECT_EQ(json::dumpLossy(bad),
              "{\"bad\":\"a\xEF\xBF\xBD"
              "b\",\"ok\":\"fine\"}");
    Json badKey = {{std::string("\xC3"), 1}};
    EXPECT_FALSE(json::dump(badKey));
    EXPECT_TRUE(json::parse(json::dumpLossy(badKey)));
    // Non-finite numbers are written as null rather than as invalid JSON.
    EXPECT_EQ(json::dump(Json(std::nan(""))), "null");
    EXPECT_EQ(json::dumpLossy(Json(std::numeric_limits<double>::infinity())), "null");
}

TEST(Json, TypedReadsNeverConfuseTypes) {
    const auto v = json::parse(R"({"s":"1","t":true,"i":7,"f":7.0,"h":7.5,"n":null,
        "o":{"k":1},"a":[1],"neg":-3,"big":18446744073709551615,"e":1e300})");
    ASSERT_TRUE(v);
    EXPECT_EQ(json::string(*v, "s"), "1");
    EXPECT_FALSE(json::string(*v, "i"));
    EXPECT_FALSE(json::string(*v, "n"));
    EXPECT_EQ(json::boolean(*v, "t"), true);
    EXPECT_FALSE(json::boolean(*v, "i"));
    EXPECT_FALSE(json::integer(*v, "t"));  // booleans are not numbers
    EXPECT_FALSE(json::number(*v, "t"));
    EXPECT_EQ(json::integer(*v, "i"), 7);
    EXPECT_EQ(json::integer(*v, "f"), 7);
    EXPECT_FALSE(json::integer(*v, "h"));
    EXPECT_EQ(json::integer(*v, "neg"), -3);
    EXPECT_FALSE(json::integer(*v, "big"));
    EXPECT_FALSE(json::integer(*v, "e"));
    EXPECT_EQ(json::number(*v, "h"), 7.5);
    EXPECT_EQ(json::number(*v, "i"), 7.0);
    EXPECT_FALSE(json::number(*v, "s"));
    EXPECT_TRUE(json::object(*v, "o"));
    EXPECT_FALSE(json::object(*v, "a"));
    EXPECT_TRUE(json::array(*v, "a"));
    EXPECT_FALSE(json::array(*v, "o"));
    EXPECT_FALSE(json::string(*v, "missing"));
    // Reads on something that is not an object find nothing.
    EXPECT_FALSE(json::string(Json::array({"s"}), "s"));
    EXPECT_FALSE(json::integer(Json(5), "i"));
    EXPECT_EQ(json::object(Json(nullptr), "o"), nullptr);
    // A non-finite number built in code is not a number.
    EXPECT_FALSE(json::number(Json{{"x", std::nan("")}}, "x"));
    EXPECT_FALSE(json::integer(Json{{"x", std::numeric_limits<double>::infinity()}}, "x"));
}

}  // namespace
}  // namespace parlendo
