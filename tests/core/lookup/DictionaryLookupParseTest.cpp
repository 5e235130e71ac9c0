#include <gtest/gtest.h>

#include "lookup/DictionaryLookup.h"

namespace parlendo {
namespace {

using Status = DictionaryLookup::Status;

TEST(DictionaryLookupParse, ReadsAFullAnswer) {
    auto parsed = DictionaryLookup::parse(
        R"({"status":"ok","word":"Run","lemma":"run","phonetic":"/rʌn/",
            "senses":[{"korean":"달리다","definition":"move fast","example":"I run.","pos":"verb"},
                      {"korean":"운영하다","pos":7}],
            "_diag":{"ranked":true,"matched_by":"lemma","title_vec_found":false,"ms_server":12.6}})",
        "running");
    ASSERT_TRUE(parsed.has_value());
    DictionaryLookup::Result expected;
    expected.status = Status::ok;
    expected.word = "Run";
    expected.lemma = "run";
    expected.phonetic = "/rʌn/";
    expected.senses = {{"달리다", "move fast", "I run.", "verb"}, {"운영하다", "", "", ""}};
    expected.ranked = true;
    expected.matchedBy = "lemma";
    expected.titleVectorFound = false;
    expected.serverMs = 12.6;
    EXPECT_EQ(*parsed, expected);
}

TEST(DictionaryLookupParse, StatusAloneGivesTheLookedUpWordAndNoDiagnostics) {
    auto parsed = DictionaryLookup::parse(R"({"status":"ok"})", "Word");
    ASSERT_TRUE(parsed.has_value());
    DictionaryLookup::Result expected;
    expected.status = Status::ok;
    expected.word = "Word";
    EXPECT_EQ(*parsed, expected);

    auto notFound = DictionaryLookup::parse(R"({"status":"not_found","lemma":"x"})", "xs");
    ASSERT_TRUE(notFound.has_value());
    EXPECT_EQ(notFound->status, Status::notFound);
    EXPECT_EQ(notFound->lemma, "x");
}

TEST(DictionaryLookupParse, MembersOfTheWrongTypeCountAsMissing) {
    auto parsed = DictionaryLookup::parse(
        R"({"status":"ok","word":5,"lemma":null,"phonetic":[],"senses":{"korean":"x"},
            "_diag":{"ranked":"yes","matched_by":1,"title_vec_found":0,"ms_server":"12"}})",
        "w");
    ASSERT_TRUE(parsed.has_value());
    DictionaryLookup::Result expected;
    expected.status = Status::ok;
    expected.word = "w";
    EXPECT_EQ(*parsed, expected);

    auto diagNotObject = DictionaryLookup::parse(R"({"status":"ok","_diag":[1,2]})", "w");
    ASSERT_TRUE(diagNotObject.has_value());
    EXPECT_FALSE(diagNotObject->ranked);
    EXPECT_EQ(diagNotObject->serverMs, std::nullopt);
}

TEST(DictionaryLookupParse, OneSenseThatIsNotAnObjectEmptiesTheList) {
    for (const char* bad : {R"("달리다")", "null", "[]", "3"}) {
        std::string body = std::string(R"({"status":"ok","senses":[{"korean":"a"},)") + bad +
                           R"(,{"korean":"b"}]})";
        auto parsed = DictionaryLookup::parse(body, "w");
        ASSERT_TRUE(parsed.has_value()) << bad;
        EXPECT_TRUE(parsed->senses.empty()) << bad;
    }
}

TEST(DictionaryLookupParse, BadAnswersAreFailures) {
    const CallFailure badShape = CallFailure::badShape();
    for (const char* body :
         {"", "not json", "[]", R"("ok")", "{}", R"({"word":"w"})", R"({"status":1})",
          R"({"status":null})", R"({"status":"OK"})", R"({"status":"found"})",
          R"({"status":"ok"} trailing)", "{\"status\":\"ok\",\"word\":\"\xff\"}"}) {
        auto parsed = DictionaryLookup::parse(body, "w");
        ASSERT_FALSE(parsed.has_value()) << body;
        EXPECT_EQ(parsed.error(), badShape) << body;
    }
    auto noDb = DictionaryLookup::parse(R"({"status":"no_db"})", "w");
    ASSERT_FALSE(noDb.has_value());
    EXPECT_EQ(noDb.error(), CallFailure::authRequired());
}

TEST(DictionaryLookupParse, OverflowingNumbersAreABadShape) {
    auto parsed = DictionaryLookup::parse(R"({"status":"ok","_diag":{"ms_server":1e400}})", "w");
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), CallFailure::badShape());
}

TEST(DictionaryLookupStatus, RawValues) {
    EXPECT_STREQ(toString(Status::ok), "ok");
    EXPECT_STREQ(toString(Status::notFound), "not_found");
    EXPECT_EQ(dictionaryStatusFromString("not_found"), Status::notFound);
    EXPECT_EQ(dictionaryStatusFromString("no_db"), std::nullopt);
}

}  // namespace
}  // namespace parlendo
