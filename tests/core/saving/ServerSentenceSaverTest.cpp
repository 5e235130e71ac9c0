#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "saving/SaveRetry.h"
#include "saving/ServerSentenceSaver.h"

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::ManualExecutor;

const std::string table = "/rest/v1/sentences";

class ServerSentenceSaverTest : public ::testing::Test {
  protected:
    ServerSentenceSaverTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          clock_(std::make_shared<FakeClock>()),
          executor_(std::make_shared<ManualExecutor>(clock_)) {
        saver_ = ServerSentenceSaver::make(server_, session_, SaveRetry::maxAttempts,
                                           SaveRetry::backoff, executor_);
    }

    std::optional<SentenceSaveOutcome> save() {
        std::optional<SentenceSaveOutcome> outcome;
        saver_->save(work_, [&](SentenceSaveOutcome o) { outcome = std::move(o); });
        clock_->advance(10);
        return outcome;
    }

    // The row the server holds for the work, with another `original` when given.
    std::string row(const std::string& original = "It rained.") const {
        return Json::array({Json{{"sentence_id", "0a1b2c3d-aaaa-4bbb-8ccc-0123456789ab"},
                                 {"source_id", "src-9"},
                                 {"original", original}}})
            .dump();
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> executor_;
    std::shared_ptr<ServerSentenceSaver> saver_;
    SentenceWork work_{"0A1B2C3D-AAAA-4BBB-8CCC-0123456789AB", "SRC-9", "It rained.", "비가 왔다."};
};

TEST_F(ServerSentenceSaverTest, AnInsertAnsweredWithTheRowIsConfirmed) {
    server_->ok("POST", table, row());
    EXPECT_EQ(save(), SentenceSaveOutcome::confirmed(1));
    const auto call = server_->calls().front();
    EXPECT_EQ(call.headers.at("Prefer"), "return=representation");
    EXPECT_EQ(call.timeout, 8.0);
    EXPECT_EQ(call.json, (Json{{"sentence_id", "0a1b2c3d-aaaa-4bbb-8ccc-0123456789ab"},
                               {"user_id", "user-1"},
                               {"source_id", "SRC-9"},
                               {"original", "It rained."},
                               {"korean", "비가 왔다."}}));
    EXPECT_EQ(log_.messages("save"),
              std::vector<std::string>{"문장 저장됨 work=0a1b2c3d len=10 attempts=1"});
}

TEST_F(ServerSentenceSaverTest, ALostAnswerIsSettledByReadingTheRowBack) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("GET", table, row());
    EXPECT_EQ(save(), SentenceSaveOutcome::confirmed(1));
    ASSERT_EQ(server_->calls().size(), 2u);
    EXPECT_EQ(server_->calls()[1].path,
              "/rest/v1/sentences?select=sentence_id,source_id,original&limit=1"
              "&user_id=eq.user-1&sentence_id=eq.0a1b2c3d-aaaa-4bbb-8ccc-0123456789ab");
    EXPECT_TRUE(executor_->delays().empty());

    // An answer without the row is read back too.
    server_->ok("POST", table, "[]");
    EXPECT_EQ(save(), SentenceSaveOutcome::confirmed(1));
}

TEST_F(ServerSentenceSaverTest, ADuplicateHoldingOtherTextIsAConflict) {
    server_->failure("POST", table, testing::rejection(409, "23505"));
    server_->ok("GET", table, row("It snowed."));
    EXPECT_EQ(save(), SentenceSaveOutcome::rejected("operation_conflict"));
    EXPECT_EQ(log_.messages("save").back(),
              "🔴 문장 거부 code=operation_conflict work=0a1b2c3d — 재시도 안 함");
}

TEST_F(ServerSentenceSaverTest, RetriesEndLostWhenTheServerLacksTheRowAndUnknownWithoutAnswers) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("GET", table, "[]");
    EXPECT_EQ(save(), SentenceSaveOutcome::lost(3));
    EXPECT_EQ(executor_->delays(), (std::vector<double>{1.5, 2.0}));
    EXPECT_EQ(server_->count("POST"), 3u);
    EXPECT_EQ(
        log_.messages("save"),
        (std::vector<std::string>{
            "문장 재시도 1/3 delay=1.5s work=0a1b2c3d", "문장 재시도 2/3 delay=2.0s work=0a1b2c3d",
            "🔴 문장 포기 attempts=3 work=0a1b2c3d — 서버에 없음을 확인 (유실)"}));

    auto unanswered = std::make_shared<FakeServerCalling>();
    server_ = unanswered;
    saver_ = ServerSentenceSaver::make(server_, session_, 3, SaveRetry::backoff, executor_);
    server_->failure("POST", table, CallFailure::unavailable());
    server_->failure("GET", table, CallFailure::timeout());
    EXPECT_EQ(save(), SentenceSaveOutcome::unknown(3));
    EXPECT_EQ(log_.messages("save").back(),
              "🔴 문장 저장 여부 모름 attempts=3 work=0a1b2c3d — 넣기도 확인도 답이 없었다");
}

TEST_F(ServerSentenceSaverTest, PendingCountsASaveThroughItsWaits) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("GET", table, "[]");
    std::optional<SentenceSaveOutcome> outcome;
    saver_->save(work_, [&](SentenceSaveOutcome o) { outcome = std::move(o); });
    EXPECT_EQ(saver_->pending(), 1);
    clock_->advance(1.5);
    EXPECT_EQ(saver_->pending(), 1);
    EXPECT_EQ(server_->count("POST"), 2u);
    clock_->advance(2.0);
    EXPECT_EQ(outcome, SentenceSaveOutcome::lost(3));
    EXPECT_EQ(saver_->pending(), 0);
}

TEST_F(ServerSentenceSaverTest, RejectionsPassOnOnlySafeCodes) {
    const std::string forty(40, 'a');
    const std::vector<std::pair<CallFailure, SentenceSaveOutcome>> cases{
        {testing::rejection(409, "23503"), SentenceSaveOutcome::rejected("23503")},
        {testing::rejection(400, forty), SentenceSaveOutcome::rejected(forty)},
        {testing::rejection(400, forty + "a"), SentenceSaveOutcome::rejected("other")},
        {testing::rejection(400, "bad-code"), SentenceSaveOutcome::rejected("other")},
        {CallFailure::rejected(500), SentenceSaveOutcome::rejected("http_500")},
        {CallFailure::badShape(), SentenceSaveOutcome::rejected("bad_shape")},
        {CallFailure::authRequired(), SentenceSaveOutcome::dropped("auth_required")},
        {CallFailure::stale(), SentenceSaveOutcome::dropped("stale")},
    };
    for (const auto& [failure, expected] : cases) {
        server_ = std::make_shared<FakeServerCalling>();
        saver_ = ServerSentenceSaver::make(server_, session_, 3, SaveRetry::backoff, executor_);
        server_->failure("POST", table, failure);
        EXPECT_EQ(save(), expected) << failure.logReason();
        EXPECT_EQ(server_->calls().size(), 1u);
    }
}

TEST_F(ServerSentenceSaverTest, ReadBackMatchesSourceIgnoringCaseAndDropsOnAuthFailures) {
    server_->failure("POST", table, CallFailure::quota());
    server_->ok("GET", table, row());
    work_.sourceID = "src-9";
    EXPECT_EQ(save(), SentenceSaveOutcome::confirmed(1));

    server_ = std::make_shared<FakeServerCalling>();
    saver_ = ServerSentenceSaver::make(server_, session_, 3, SaveRetry::backoff, executor_);
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::stale());
    EXPECT_EQ(save(), SentenceSaveOutcome::dropped("stale"));
}

TEST_F(ServerSentenceSaverTest, NothingIsSentWithoutAUserOrForANewAccount) {
    session_->setUser(std::nullopt);
    EXPECT_EQ(save(), SentenceSaveOutcome::dropped("auth_required"));
    EXPECT_TRUE(server_->calls().empty());

    // The account changes while the saver waits for its retry.
    session_->setUser("user-1");
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    std::optional<SentenceSaveOutcome> outcome;
    saver_->save(work_, [&](SentenceSaveOutcome o) { outcome = std::move(o); });
    session_->setUser("user-2");
    clock_->advance(1.5);
    EXPECT_EQ(outcome, SentenceSaveOutcome::dropped("account_changed"));
    EXPECT_EQ(server_->count("POST"), 1u);
    EXPECT_EQ(log_.messages("save").back(), "문장 버림 why=account_changed work=0a1b2c3d");
    EXPECT_EQ(saver_->pending(), 0);
}

}  // namespace
}  // namespace parlendo
