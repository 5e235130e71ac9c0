#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "LogCapture.h"
#include "foundation/Log.h"
#include "lookup/ServerTranslator.h"

namespace parlendo {
namespace {

using Outcome = TranslationClient::Outcome;

TEST(TranslationClientParse, ReadsTheAnswerStrictly) {
    EXPECT_EQ(TranslationClient::parse(R"({"translated_text":" 안녕 ","target":"ko","x":1})", "hi"),
              Outcome(TranslationClient::Result{"hi", " 안녕 "}));
    // A non-string error is ignored.
    EXPECT_EQ(TranslationClient::parse(R"({"error":5,"translated_text":"a","target":"ko"})", "t"),
              Outcome(TranslationClient::Result{"t", "a"}));
    // The error check comes first.
    EXPECT_EQ(TranslationClient::parse(
                  R"({"error":"quota_exceeded","translated_text":"a","target":"ko"})", "t"),
              Outcome(fail(CallFailure::quota())));
    EXPECT_EQ(TranslationClient::parse(R"({"error":"Quota_Exceeded"})", "t"),
              Outcome(fail(CallFailure::unavailable())));
    for (const char* body :
         {"", "[]", R"("x")", "{}", R"({"translated_text":"a"})",
          R"({"translated_text":"a","target":"en"})", R"({"translated_text":"a","target":null})",
          R"({"translated_text":"","target":"ko"})",
          R"({"translated_text":["a"],"target":"ko"})"}) {
        EXPECT_EQ(TranslationClient::parse(body, "t"), Outcome(fail(CallFailure::badShape())))
            << body;
    }
}

TEST(TranslationClientValidate, CountsCodePoints) {
    EXPECT_FALSE(TranslationClient::validate(""));
    EXPECT_TRUE(TranslationClient::validate(" "));
    std::string limit;
    for (int i = 0; i < 150; ++i) {
        limit += "e\u0301";  // two code points each, one character
    }
    EXPECT_TRUE(TranslationClient::validate(limit));
    EXPECT_FALSE(TranslationClient::validate(limit + "a"));
    // A family emoji of seven code points counts as seven.
    std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    EXPECT_TRUE(TranslationClient::validate(std::string(293, 'a') + family));
    EXPECT_FALSE(TranslationClient::validate(std::string(294, 'a') + family));
}

class ServerTranslatorTest : public ::testing::Test {
  protected:
    // Every request waits until the test answers it.
    ServerTranslatorTest() { server_->hold(true); }

    void translate(std::string text) {
        translator_.translate(std::move(text), [this](Outcome o) { outcomes_.push_back(o); });
    }
    std::shared_ptr<testing::FakeServerCalling> server_ =
        std::make_shared<testing::FakeServerCalling>();
    std::shared_ptr<testing::FakeClock> clock_ = std::make_shared<testing::FakeClock>();
    ServerTranslator translator_{server_, std::nullopt, clock_};
    testing::LogCapture log_;
    std::vector<Outcome> outcomes_;
};

TEST_F(ServerTranslatorTest, RefusesBadLengthsAtOnceWithoutARequest) {
    translate("");
    translate(std::string(301, 'a'));
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[0], Outcome(fail(CallFailure::rejected(400))));
    EXPECT_EQ(outcomes_[1], Outcome(fail(CallFailure::rejected(400))));
    EXPECT_EQ(server_->count(), 0u);
    EXPECT_TRUE(log_.messages("translate").empty());
    translate(std::string(300, 'a'));
    EXPECT_EQ(server_->count(), 1u);
}

TEST_F(ServerTranslatorTest, SendsTheTextAsItIsAndLogsEachAnswer) {
    const std::string text = " The cat sat. ";
    const std::string redacted = Log::redact(text);
    translate(text);
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.path, "/functions/v1/translate-sentence");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 8.0);
    EXPECT_TRUE(request.headers.empty());
    EXPECT_EQ(request.json, (Json{{"text", text}, {"app_version", nullptr}}));

    clock_->advance(0.8);
    server_->releaseNext(
        R"({"translated_text":"고양이가 앉았다.","target":"ko","original":"other"})");
    EXPECT_EQ(outcomes_.back(), Outcome(TranslationClient::Result{text, "고양이가 앉았다."}));

    translate(text);
    server_->releaseNext(R"({"error":"quota_exceeded"})");
    translate(text);
    server_->releaseNext("not json");
    translate(text);
    clock_->advance(8);
    server_->releaseNext(fail(CallFailure::timeout()));
    EXPECT_EQ(outcomes_.back(), Outcome(fail(CallFailure::timeout())));
    EXPECT_EQ(log_.messages("translate"), (std::vector<std::string>{
                                              "ok text=" + redacted + " ms=800",
                                              "응답 거부 quota text=" + redacted,
                                              "응답 거부 bad_shape text=" + redacted,
                                              "실패 timeout text=" + redacted + " ms=8000",
                                          }));
}

TEST(ServerTranslatorVersion, BodyCarriesTheAppVersion) {
    auto server = std::make_shared<testing::FakeServerCalling>();
    ServerTranslator translator(server, "0.2.0");
    translator.translate("x", [](Outcome) {});
    EXPECT_EQ(server->calls().at(0).json, (Json{{"text", "x"}, {"app_version", "0.2.0"}}));
}

}  // namespace
}  // namespace parlendo
