#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "LogCapture.h"
#include "lookup/ServerEmbedder.h"

namespace parlendo {
namespace {

using Outcome = EmbedClient::Outcome;

std::string answer(size_t count, const std::string& model = "gemini-embedding-001",
                   const std::string& extra = "") {
    std::string body = R"({)" + extra + R"("model":")" + model + R"(","embedding":[)";
    for (size_t i = 0; i < count; ++i) {
        body += (i ? "," : "") + std::to_string(i % 7 == 0 ? -1 : 1) + (i % 2 ? ".25" : "");
    }
    return body + "]}";
}

TEST(EmbedClientParse, AcceptsExactly768NumbersOfTheModel) {
    auto good = EmbedClient::parse(answer(768));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->size(), 768u);
    EXPECT_EQ((*good)[0], -1.0);
    EXPECT_EQ((*good)[1], 1.25);

    for (const std::string& body :
         {answer(767), answer(769), answer(0), answer(768, "gemini-embedding-002"),
          answer(768, "Gemini-Embedding-001"), std::string(""), std::string("[]"),
          std::string(R"({"embedding":[1]})"), std::string(R"({"model":"gemini-embedding-001"})"),
          std::string(R"({"model":"gemini-embedding-001","embedding":"1,2"})")}) {
        EXPECT_EQ(EmbedClient::parse(body), Outcome(fail(CallFailure::badShape())))
            << body.substr(0, 80);
    }
    // One element of another type spoils the vector.
    std::string withString = answer(768);
    withString.replace(withString.find("[-1,"), 4, "[\"-1\",");
    EXPECT_EQ(EmbedClient::parse(withString), Outcome(fail(CallFailure::badShape())));
    std::string withBool = answer(768);
    withBool.replace(withBool.find("[-1,"), 4, "[true,");
    EXPECT_EQ(EmbedClient::parse(withBool), Outcome(fail(CallFailure::badShape())));
    std::string withNull = answer(768);
    withNull.replace(withNull.find("[-1,"), 4, "[null,");
    EXPECT_EQ(EmbedClient::parse(withNull), Outcome(fail(CallFailure::badShape())));
    // Numbers beyond a double's range make the answer unreadable.
    std::string huge = answer(768);
    huge.replace(huge.find("[-1,"), 4, "[1e999,");
    EXPECT_EQ(EmbedClient::parse(huge), Outcome(fail(CallFailure::badShape())));
    // A huge array is refused by its size.
    EXPECT_EQ(EmbedClient::parse(answer(200000)), Outcome(fail(CallFailure::badShape())));
}

TEST(EmbedClientParse, AnyErrorMemberIsUnavailable) {
    EXPECT_EQ(EmbedClient::parse(answer(768, "gemini-embedding-001", R"("error":null,)")),
              Outcome(fail(CallFailure::unavailable())));
    EXPECT_EQ(EmbedClient::parse(R"({"error":""})"), Outcome(fail(CallFailure::unavailable())));
}

TEST(EmbedClientValidate, TrimsForEmptinessButCountsUntrimmed) {
    EXPECT_FALSE(EmbedClient::isValid(" \n\t "));
    EXPECT_FALSE(EmbedClient::isValid(""));
    EXPECT_TRUE(EmbedClient::isValid("  " + std::string(296, 'a') + "  "));
    EXPECT_FALSE(EmbedClient::isValid("  " + std::string(297, 'a') + "  "));
}

class ServerEmbedderTest : public ::testing::Test {
  protected:
    // Every request waits until the test answers it.
    ServerEmbedderTest() { server_->hold(true); }

    std::shared_ptr<testing::FakeServerCalling> server_ =
        std::make_shared<testing::FakeServerCalling>();
    testing::LogCapture log_;
    std::vector<Outcome> outcomes_;
    Completion<void(Outcome)> collect() {
        return [this](Outcome o) {
            outcomes_.push_back(std::move(o));
        };
    }
};

TEST_F(ServerEmbedderTest, SwitchedOffRefusesEveryCallWithoutARequest) {
    ServerEmbedder embedder(server_, false, "0.2.0");
    EXPECT_FALSE(embedder.enabled());
    embedder.embed("Valid title", collect());
    embedder.embed("Valid title", collect());
    EXPECT_EQ(outcomes_, (std::vector<Outcome>(2, fail(CallFailure::rejected(0)))));
    EXPECT_EQ(server_->count(), 0u);
    EXPECT_EQ(log_.messages("embed"),
              (std::vector<std::string>(2, "프로필에서 꺼져 있음 — 호출 안 함")));
}

TEST_F(ServerEmbedderTest, SendsTheUntrimmedTextAndLogsFailures) {
    ServerEmbedder embedder(server_, true, std::nullopt);
    EXPECT_TRUE(embedder.enabled());
    embedder.embed(" \n", collect());
    EXPECT_EQ(outcomes_.back(), Outcome(fail(CallFailure::rejected(400))));
    EXPECT_EQ(server_->count(), 0u);

    embedder.embed(" My Title ", collect());
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.path, "/functions/v1/embed-title");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 15.0);
    EXPECT_TRUE(request.headers.empty());
    EXPECT_EQ(request.json, (Json{{"text", " My Title "}, {"app_version", nullptr}}));
    server_->releaseNext(answer(768));
    ASSERT_TRUE(outcomes_.back());
    EXPECT_EQ(outcomes_.back()->size(), 768u);

    embedder.embed("t", collect());
    server_->releaseNext(answer(767));
    embedder.embed("t", collect());
    server_->releaseNext(R"({"error":"model down"})");
    embedder.embed("t", collect());
    server_->releaseNext(fail(CallFailure::rejected(503)));
    EXPECT_EQ(outcomes_.back(), Outcome(fail(CallFailure::rejected(503))));
    EXPECT_EQ(log_.messages("embed"),
              (std::vector<std::string>{"응답 거부 bad_shape", "응답 거부 unavailable",
                                        "실패 rejected_503"}));
}

}  // namespace
}  // namespace parlendo
