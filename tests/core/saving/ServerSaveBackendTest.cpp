#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "saving/ServerSaveBackend.h"

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::ManualExecutor;

class ServerSaveBackendTest : public ::testing::Test {
  protected:
    ServerSaveBackendTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          delivery_(std::make_shared<ManualExecutor>()),
          backend_(server_, session_, delivery_) {}

    static SaveWork work(std::vector<SaveWork::Sense> senses, std::optional<std::string> korean) {
        SaveWork work("ID", "SRC", "Run", "/rʌn/", std::move(korean), std::move(senses), 0);
        work.owner = "user-1";
        return work;
    }

    std::optional<bool> legacy(const SaveWork& w) {
        std::optional<bool> answer;
        backend_.legacy(w, [&](bool ok) { answer = ok; });
        EXPECT_FALSE(answer) << "answers only through the delivery executor";
        delivery_->runAll();
        return answer;
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ManualExecutor> delivery_;
    ServerSaveBackend backend_;
};

TEST_F(ServerSaveBackendTest, SnapshotSendsTheParametersAndPassesTheAnswerOn) {
    server_->ok("POST", "/rest/v1/rpc/save_word_snapshot_v1", R"({"status":"ok"})");
    server_->failure("POST", "/rest/v1/rpc/save_word_snapshot_v1", CallFailure::timeout());
    std::vector<CallResult> results;
    const SaveWork w = work({}, "달리다");
    backend_.snapshot(w, [&](CallResult r) { results.push_back(std::move(r)); });
    backend_.snapshot(w, [&](CallResult r) { results.push_back(std::move(r)); });
    EXPECT_TRUE(results.empty());
    delivery_->runAll();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(*results[0], R"({"status":"ok"})");
    EXPECT_EQ(results[1].error(), CallFailure::timeout());

    const auto call = server_->calls().front();
    EXPECT_EQ(call.method, "POST");
    EXPECT_EQ(call.path, "/rest/v1/rpc/save_word_snapshot_v1");
    EXPECT_EQ(call.json, w.rpcParams());
    EXPECT_TRUE(call.headers.empty());
    EXPECT_EQ(call.timeout, 8.0);
}

TEST_F(ServerSaveBackendTest, LegacyWritesTheWordRowThenItsSensesWithTheirRanks) {
    server_->ok("POST", "/rest/v1/words", R"([{"word_id": 42, "lemma": "run"}])");
    server_->ok("POST", "/rest/v1/word_senses", "");
    EXPECT_EQ(legacy(work({{"뛰다", "", "ex", "verb"}, {"", "to go", "", "verb"}}, std::nullopt)),
              true);
    const auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].path, "/rest/v1/words?on_conflict=user_id,lemma,source_id");
    EXPECT_EQ(calls[0].headers.at("Prefer"), "resolution=ignore-duplicates,return=representation");
    EXPECT_EQ(calls[0].timeout, 15.0);
    EXPECT_EQ(calls[0].json, (Json{{"user_id", "user-1"},
                                   {"source_id", "SRC"},
                                   {"lemma", "run"},
                                   {"korean", nullptr},
                                   {"phonetic", "/rʌn/"}}));
    EXPECT_EQ(calls[1].path, "/rest/v1/word_senses?on_conflict=word_id,rank");
    EXPECT_EQ(calls[1].headers.at("Prefer"), "resolution=ignore-duplicates");
    EXPECT_EQ(calls[1].json, Json::array({Json{{"word_id", 42},
                                               {"user_id", "user-1"},
                                               {"rank", 2},
                                               {"korean", ""},
                                               {"definition", "to go"},
                                               {"example", ""},
                                               {"pos", "verb"}}}));
    EXPECT_EQ(log_.messages("save"),
              std::vector<std::string>{"단어 저장(legacy) " + Log::redact("run") + " senses=2"});
}

// The legacy row's lemma is lower-cased code point by code point; the snapshot call's lemma keeps
// the server side's final-sigma rule.
TEST_F(ServerSaveBackendTest, LegacyLemmaIsLowerCasedWithoutTheFinalSigmaRule) {
    server_->ok("POST", "/rest/v1/words", "[]");
    SaveWork greek("ID", "SRC", "ΟΔΟΣ", "", std::nullopt, {}, 0);
    greek.owner = "user-1";
    EXPECT_EQ(legacy(greek), true);
    EXPECT_EQ(server_->calls().front().json->at("lemma"), "οδοσ");
    EXPECT_EQ(greek.rpcParams().at("p_lemma"), "οδος");
}

TEST_F(ServerSaveBackendTest, LegacyWithoutSensesToSendOrWithAnExistingRowSendsOneRequest) {
    server_->ok("POST", "/rest/v1/words", R"([{"word_id":"w"}])");
    server_->ok("POST", "/rest/v1/words", "[]");
    EXPECT_EQ(legacy(work({{"k", "", "", ""}, {"k", "", "", ""}}, "k")), true);
    EXPECT_EQ(server_->calls().size(), 1u);

    EXPECT_EQ(legacy(work({{"k", "to run", "", ""}}, "k")), true);
    EXPECT_EQ(server_->calls().size(), 2u);
    EXPECT_EQ(log_.messages("save").back(), "단어 이미 있음(legacy) " + Log::redact("run"));
}

TEST_F(ServerSaveBackendTest, LegacyFailsWithoutTheWordsAccountOrWhenTheWordRowFails) {
    session_->setUser(std::nullopt);
    EXPECT_EQ(legacy(work({}, "k")), false);
    // Another account signed in meanwhile: the word is not written into its word book.
    session_->setUser("user-2");
    EXPECT_EQ(legacy(work({}, "k")), false);
    EXPECT_TRUE(server_->calls().empty());
    EXPECT_TRUE(log_.messages("save").empty());

    session_->setUser("user-1");
    server_->failure("POST", "/rest/v1/words", testing::rejection(409, "23503"));
    EXPECT_EQ(legacy(work({}, "k")), false);
    EXPECT_EQ(log_.messages("save"),
              std::vector<std::string>{"단어 실패 " + Log::redact("run") + " rejected_409_23503"});
}

TEST_F(ServerSaveBackendTest, AFailedSenseInsertIsOnlyLogged) {
    server_->ok("POST", "/rest/v1/words", R"([{"word_id":"w"}])");
    server_->failure("POST", "/rest/v1/word_senses", CallFailure::timeout());
    EXPECT_EQ(legacy(work({{"k", "to run", "", ""}}, "k")), true);
    EXPECT_TRUE(log_.contains("save", "뜻 저장 실패 timeout"));
}

}  // namespace
}  // namespace parlendo
