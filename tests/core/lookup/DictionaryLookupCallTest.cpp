#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "LogCapture.h"
#include "foundation/Log.h"
#include "lookup/DictionaryLookup.h"
#include "lookup/ServerDictionary.h"

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakeServerCalling;

TEST(DictionaryLookupParams, BodyCarriesWordLowerSuffixesAndTitleKey) {
    auto body =
        DictionaryLookup::params(" Studies", std::optional<std::string>("  My Page\u200b "));
    EXPECT_EQ(body, (Json{{"p_word", " Studies"},
                          {"p_lower", " studies"},
                          {"p_suffix", {" study", " studi", " studie"}},
                          {"p_title", "My Page"}}));
    EXPECT_EQ(DictionaryLookup::params("ΣΟΦΟΣ", std::nullopt)["p_lower"], "σοφος");
    for (std::optional<std::string> title :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>(" \n\u200b")}) {
        auto noKey = DictionaryLookup::params("a", title);
        ASSERT_TRUE(noKey.contains("p_title"));
        EXPECT_TRUE(noKey["p_title"].is_null());
        EXPECT_EQ(noKey["p_suffix"], Json::array());
    }
}

TEST(DictionaryLookupRetry, OnlyADroppedConnectionWithTimeLeft) {
    CallFailureDetail lost(CallFailure::unavailable(), std::nullopt, std::nullopt, std::nullopt,
                           NetFailure::Kind::connectionLost);
    EXPECT_DOUBLE_EQ(*DictionaryLookup::retryTimeout(lost, 1.4), 0.6);
    EXPECT_DOUBLE_EQ(*DictionaryLookup::retryTimeout(lost, 1.5), 0.5);
    EXPECT_EQ(DictionaryLookup::retryTimeout(lost, 1.6), std::nullopt);
    CallFailureDetail other = lost;
    other.net = NetFailure::Kind::notConnected;
    EXPECT_EQ(DictionaryLookup::retryTimeout(other, 0.1), std::nullopt);
    EXPECT_EQ(DictionaryLookup::retryTimeout(CallFailureDetail(CallFailure::timeout()), 0.1),
              std::nullopt);
}

class DictionaryLookupCallTest : public ::testing::Test {
  protected:
    // Every request waits until the test answers it.
    DictionaryLookupCallTest() { server_->hold(true); }

    void lookup(std::string word = "Runs") {
        dictionary_.lookup(
            word, std::optional<std::string>("Title"),
            [this](DictionaryLookup::Outcome o) { outcomes_.push_back(std::move(o)); });
    }
    static CallFailureDetail lost() {
        return CallFailureDetail(CallFailure::unavailable(), std::nullopt, std::nullopt,
                                 std::nullopt, NetFailure::Kind::connectionLost);
    }

    std::shared_ptr<FakeServerCalling> server_ = std::make_shared<FakeServerCalling>();
    std::shared_ptr<FakeClock> clock_ = std::make_shared<FakeClock>();
    ServerDictionary dictionary_{server_, clock_};
    testing::LogCapture log_;
    std::vector<DictionaryLookup::Outcome> outcomes_;
    const std::string word_ = Log::redact("Runs");
};

TEST_F(DictionaryLookupCallTest, SendsOneRequestAndLogsTheResult) {
    lookup();
    ASSERT_EQ(server_->count(), 1u);
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.path, "/rest/v1/rpc/dict_lookup");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 2.0);
    EXPECT_TRUE(request.headers.empty());
    EXPECT_EQ(request.json, DictionaryLookup::params("Runs", "Title"));

    clock_->advance(0.25);
    server_->releaseNext(R"({"status":"ok","lemma":"run","senses":[{"korean":"달리다"}],
                        "_diag":{"ranked":true,"matched_by":"suffix","ms_server":12.6}})");
    ASSERT_EQ(outcomes_.size(), 1u);
    ASSERT_TRUE(outcomes_[0]);
    EXPECT_EQ(outcomes_[0]->lemma, "run");
    EXPECT_EQ(log_.messages("lookup"),
              std::vector<std::string>{"status=ok word=" + word_ + " lemma=" + Log::redact("run") +
                                       " senses=1 ranked=true matched=suffix tvf=- ms_total=250 "
                                       "ms_server=13"});

    log_.clear();
    lookup();
    server_->releaseNext(R"({"status":"not_found","_diag":{"title_vec_found":false}})");
    EXPECT_EQ(log_.messages("lookup"),
              std::vector<std::string>{"status=not_found word=" + word_ +
                                       " lemma=none senses=0 ranked=false matched=- "
                                       "tvf=false ms_total=0 ms_server=-"});
}

TEST_F(DictionaryLookupCallTest, ADroppedConnectionIsRetriedOnceWithinTheTimeLeft) {
    lookup();
    clock_->advance(1.4);
    server_->releaseNext(fail(lost()));
    ASSERT_EQ(server_->count(), 2u);
    auto retry = server_->calls().at(1);
    EXPECT_NEAR(retry.timeout, 0.6, 1e-9);
    EXPECT_EQ(retry.json, server_->calls().at(0).json);
    EXPECT_EQ(retry.path, server_->calls().at(0).path);
    EXPECT_TRUE(retry.headers.empty());
    EXPECT_TRUE(outcomes_.empty());

    clock_->advance(0.3);
    server_->releaseNext(R"({"status":"ok"})");
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_TRUE(outcomes_[0]);
    auto lines = log_.messages("lookup");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "연결 끊김 — 한 번 더 remaining_ms=600");
    EXPECT_NE(lines[1].find(" ms_total=1700 ms_server=- retried=true"), std::string::npos)
        << lines[1];
}

TEST_F(DictionaryLookupCallTest, NoSecondRetryAndNoRetryWhenLate) {
    lookup();
    clock_->advance(0.2);
    server_->releaseNext(fail(lost()));
    clock_->advance(0.1);
    server_->releaseNext(fail(lost()));  // the retry dropped too: no third request
    EXPECT_EQ(server_->count(), 2u);
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_EQ(outcomes_[0].error(), CallFailure::unavailable());
    EXPECT_EQ(log_.messages("lookup").back(),
              "실패 unavailable word=" + word_ + " ms=300 retried=true");

    log_.clear();
    lookup();
    clock_->advance(1.6);
    server_->releaseNext(fail(lost()));
    EXPECT_EQ(server_->count(), 3u);
    EXPECT_EQ(log_.messages("lookup"),
              std::vector<std::string>{"실패 unavailable word=" + word_ + " ms=1600"});
}

TEST_F(DictionaryLookupCallTest, OtherFailuresAreNeverRetried) {
    for (auto failure :
         {CallFailure::timeout(), CallFailure::rejected(403), CallFailure::stale()}) {
        lookup();
        server_->releaseNext(fail(failure));
        EXPECT_EQ(outcomes_.back().error(), failure);
    }
    EXPECT_EQ(server_->count(), 3u);
    EXPECT_EQ(log_.messages("lookup")[0], "실패 timeout word=" + word_ + " ms=0");
}

TEST_F(DictionaryLookupCallTest, UnreadableAnswersLogTheShapeLine) {
    lookup();
    server_->releaseNext(R"({"status":"no_db"})");
    EXPECT_EQ(outcomes_.back().error(), CallFailure::authRequired());

    lookup();
    server_->releaseNext(fail(lost()));
    server_->releaseNext("<html>");
    EXPECT_EQ(outcomes_.back().error(), CallFailure::badShape());

    auto lines = log_.messages("lookup");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "응답 형식 불일치 word=" + word_);
    EXPECT_EQ(lines[2], "응답 형식 불일치 word=" + word_);  // never marked as retried
}

}  // namespace
}  // namespace parlendo
