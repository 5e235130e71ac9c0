#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "LogCapture.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"
#include "lookup/ServerSenseGenerator.h"

namespace parlendo {
namespace {

using Outcome = SenseGeneration::Outcome;

TEST(SenseGenerationLemma, TrimsLowerCasesAndChecksTheLetters) {
    EXPECT_EQ(SenseGeneration::lemma("  Hello\n"), "hello");
    EXPECT_EQ(SenseGeneration::lemma("don't"), "don't");
    EXPECT_EQ(SenseGeneration::lemma("well-being"), "well-being");
    for (const char* bad : {"", "   ", "café", "abc1", "two words", "'tis", "-ish", "\u00a0"}) {
        EXPECT_EQ(SenseGeneration::lemma(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(SenseGeneration::lemma(std::string(45, 'a')), std::string(45, 'a'));
    EXPECT_EQ(SenseGeneration::lemma(std::string(46, 'a')), std::nullopt);
}

TEST(SenseGenerationParams, BodyHoldsEveryKey) {
    EXPECT_EQ(SenseGeneration::params("run", "Title", std::nullopt, "id-1"),
              (Json{{"lemma", "run"},
                    {"context_title", "Title"},
                    {"context_sentence", nullptr},
                    {"app_version", nullptr},
                    {"request_id", "id-1"}}));
    EXPECT_EQ(SenseGeneration::params("run", "T", "0.2.0", "x")["app_version"], "0.2.0");
}

TEST(SenseGenerationParse, Refusals) {
    EXPECT_EQ(SenseGeneration::parse(R"({"status":"rejected","reason":"not_a_word"})", "w"),
              Outcome::notAWord());
    EXPECT_EQ(SenseGeneration::parse(R"({"status":"rejected","reason":"korean_invalid"})", "w"),
              Outcome::rejected("korean_invalid"));
    for (const char* other :
         {R"({"status":"rejected"})", R"({"status":"rejected","reason":7})",
          R"({"status":"rejected","reason":"quota"})", R"({"status":"rejected","reason":""})"}) {
        EXPECT_EQ(SenseGeneration::parse(other, "w"), Outcome::rejected("other")) << other;
    }
}

TEST(SenseGenerationParse, MadeSensesUseTheCapturedWord) {
    auto outcome = SenseGeneration::parse(
        R"({"status":"ok","word":"server","lemma":"grok","phonetic":"/ɡrɒk/",
            "senses":[{"korean":"깊이 이해하다","definition":"understand","pos":"verb"}],
            "_diag":{"ranked":true,"matched_by":"x","title_vec_found":true,"ms_server":3}})",
        "Grokked");
    DictionaryLookup::Result expected;
    expected.status = DictionaryLookup::Status::ok;
    expected.word = "Grokked";
    expected.lemma = "grok";
    expected.phonetic = "/ɡrɒk/";
    expected.senses = {{"깊이 이해하다", "understand", "", "verb"}};
    expected.matchedBy = "generated";
    EXPECT_EQ(outcome, Outcome::made(expected));
}

TEST(SenseGenerationParse, IncompleteAnswersAreBadShapes) {
    const Outcome badShape = Outcome::failed(CallFailure::badShape());
    for (const char* body :
         {"", "[]", "{}", R"({"status":5})", R"({"status":"no_db"})", R"({"status":"made"})",
          R"({"status":"ok","lemma":"x","senses":[{"korean":""}]})",
          R"({"status":"ok","lemma":"x","senses":[{"korean":"가"},{"definition":"d"}]})",
          R"({"status":"ok","senses":[{"korean":"가"}]})",
          R"({"status":"ok","lemma":"","senses":[{"korean":"가"}]})",
          R"({"status":"ok","lemma":"x","senses":[]})",
          R"({"status":"ok","lemma":"x","senses":[{"korean":"가"},"나"]})",
          R"({"status":"ok","lemma":"x","senses":"가"})"}) {
        EXPECT_EQ(SenseGeneration::parse(body, "w"), badShape) << body;
    }
}

TEST(SenseGenerationSkip, RawValues) {
    EXPECT_STREQ(toString(SenseGeneration::Skip::lemmaInvalid), "lemma_invalid");
    EXPECT_EQ(senseGenerationSkipFromString("remembered"), SenseGeneration::Skip::remembered);
    EXPECT_EQ(senseGenerationSkipFromString("made"), std::nullopt);
}

class ServerSenseGeneratorTest : public ::testing::Test {
  protected:
    // Every request waits until the test answers it.
    ServerSenseGeneratorTest() { server_->hold(true); }

    std::shared_ptr<testing::FakeServerCalling> server_ =
        std::make_shared<testing::FakeServerCalling>();
    std::shared_ptr<testing::FakeClock> clock_ = std::make_shared<testing::FakeClock>();
    ServerSenseGenerator generator_{server_, "0.2.0", clock_};
    testing::LogCapture log_;
    std::optional<Outcome> outcome_;

    void generate() {
        generator_.generate("grok", "제목 key", "Grokked", [this](Outcome o) { outcome_ = o; });
    }
};

TEST_F(ServerSenseGeneratorTest, SendsTheBodyAndLogsTheOutcome) {
    generate();
    ASSERT_EQ(server_->count(), 1u);
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.path, "/functions/v1/generate-sense");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 8.0);
    EXPECT_TRUE(request.headers.empty());
    ASSERT_TRUE(request.json);
    EXPECT_EQ((*request.json)["lemma"], "grok");
    EXPECT_EQ((*request.json)["context_title"], "제목 key");
    EXPECT_EQ((*request.json)["app_version"], "0.2.0");
    EXPECT_TRUE((*request.json)["context_sentence"].is_null());
    std::string id = (*request.json)["request_id"];
    EXPECT_TRUE(uuid::isCanonical(id));
    EXPECT_EQ(id, text::asciiLower(id));
    EXPECT_FALSE(outcome_);

    clock_->advance(1.234);
    server_->releaseNext(R"({"status":"rejected","reason":"lemma_mismatch"})");
    EXPECT_EQ(outcome_, Outcome::rejected("lemma_mismatch"));
    EXPECT_EQ(log_.messages("generate"),
              std::vector<std::string>{
                  "outcome=rejected_lemma_mismatch lemma_len=4 title_len=6 ms=1234"});
}

TEST_F(ServerSenseGeneratorTest, FailuresBecomeOutcomes) {
    generate();
    generate();
    generate();
    EXPECT_NE((*server_->calls().at(0).json)["request_id"],
              (*server_->calls().at(1).json)["request_id"]);
    server_->releaseNext(fail(CallFailure::timeout()));
    EXPECT_EQ(outcome_, Outcome::failed(CallFailure::timeout()));
    server_->releaseNext(R"({"status":"rejected","reason":"not_a_word"})");
    EXPECT_EQ(outcome_, Outcome::notAWord());
    server_->releaseNext(R"({"status":"ok","lemma":"grok","senses":[{"korean":"알다"}]})");
    ASSERT_TRUE(outcome_ && outcome_->as<Outcome::Made>());
    EXPECT_EQ(outcome_->as<Outcome::Made>()->result.word, "Grokked");
    auto lines = log_.messages("generate");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("outcome=failed_timeout lemma_len=4 title_len=6 ms=0", 0), 0u);
    EXPECT_EQ(lines[1].rfind("outcome=not_a_word ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("outcome=made ", 0), 0u);
}

}  // namespace
}  // namespace parlendo
