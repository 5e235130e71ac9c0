#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "FakeServerTransport.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "saving/SaveRetry.h"
#include "saving/ServerSaveBackend.h"
#include "saving/ServerSentenceSaver.h"
#include "saving/ServerStudyRecorder.h"
#include "saving/StudyRoutes.h"
#include "saving/UnsavedCounter.h"
#include "saving/WordSaver.h"
#include "server/ServerClient.h"

namespace parlendo {
namespace {

using testing::FakeAuthAccess;
using testing::FakeClock;
using testing::FakeServerTransport;
using testing::FakeSession;
using testing::LogCapture;
using testing::ManualExecutor;

// The savers over the real server client, a recording transport and a moving account: answers
// that arrive after the account changed must end as drops, never as saves for the new account
// or as unsaved items of the old one.
class SavingOverServerClientTest : public ::testing::Test {
  protected:
    SavingOverServerClientTest()
        : clock_(std::make_shared<FakeClock>()),
          main_(std::make_shared<ManualExecutor>(clock_)),
          transport_(std::make_shared<FakeServerTransport>()),
          auth_(std::make_shared<FakeAuthAccess>()),
          session_(std::make_shared<FakeSession>("user-1")),
          client_(std::make_shared<ServerClient>(transport_, auth_, "anon-key",
                                                 ServerClient::deliverOn(main_), true, nullptr,
                                                 nullptr, clock_)) {}

    // A word captured under the first account.
    static SaveWork word(const std::string& id, const std::string& lemma) {
        SaveWork work(id, "SRC", lemma, std::nullopt, std::nullopt, {}, 0);
        work.owner = "user-1";
        return work;
    }

    // The word save queue over the real backend; its outcomes are kept and counted.
    std::shared_ptr<WordSaver> wordSaver() {
        auto backend = std::make_shared<ServerSaveBackend>(client_, session_, main_);
        auto saver = WordSaver::make(backend, SaveRetry::maxAttempts, SaveRetry::backoff, main_);
        saver->setOnOutcome([this](const WordSaver::Outcome& o) {
            outcomes_.push_back(o);
            unsaved_.note(o);
        });
        return saver;
    }

    // Signs another user in while requests are in flight.
    void switchAccount() {
        auth_->signIn("user-2");
        session_->setUser("user-2");
    }

    LogCapture log_;
    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> main_;
    std::shared_ptr<FakeServerTransport> transport_;
    std::shared_ptr<FakeAuthAccess> auth_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ServerClient> client_;
    std::vector<WordSaver::Outcome> outcomes_;
    UnsavedCounter unsaved_;
};

TEST_F(SavingOverServerClientTest, AWordSaveAnsweredAfterTheAccountChangedIsDropped) {
    auto saver = wordSaver();
    transport_->scriptHttp("/rest/v1/rpc/save_word_snapshot_v1", 200,
                           R"({"status":"ok","word_id":"w","snapshot_state":"inserted"})");
    transport_->hold(true);
    saver->enqueue(word("ABCDEF12-0000-4000-8000-000000000000", "word"));
    main_->runAll();
    switchAccount();
    transport_->releaseAll();
    main_->runAll();
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_EQ(outcomes_[0].result, fail(SaveVerdict::drop("stale")));
    EXPECT_EQ(unsaved_.total(), 0);
    EXPECT_EQ(transport_->requestCount(), 1u);
}

TEST_F(SavingOverServerClientTest, ASentenceWaitingForItsRetryIsNotSentForTheNextAccount) {
    auto saver = ServerSentenceSaver::make(client_, session_, SaveRetry::maxAttempts,
                                           SaveRetry::backoff, main_);
    transport_->script("/rest/v1/sentences", ServerResponse::timedOut());
    std::optional<SentenceSaveOutcome> outcome;
    saver->save(SentenceWork{"0A0A0A0A-0000-4000-8000-000000000000", "SRC", "Hi.", "안녕."},
                [&](SentenceSaveOutcome o) { outcome = std::move(o); });
    main_->runAll();
    EXPECT_EQ(transport_->requestCount(), 2u);  // the insert and its read-back
    switchAccount();
    clock_->advance(1.5);
    EXPECT_EQ(outcome, SentenceSaveOutcome::dropped("account_changed"));
    EXPECT_EQ(transport_->requestCount(), 2u);

    // An insert answered after the switch is stale: dropped, not counted.
    transport_->hold(true);
    outcome.reset();
    saver->save(SentenceWork{"0B0B0B0B-0000-4000-8000-000000000000", "SRC", "Yo.", "요."},
                [&](SentenceSaveOutcome o) { outcome = std::move(o); });
    main_->runAll();
    auth_->signOut();
    session_->setUser(std::nullopt);
    transport_->releaseAll();
    main_->runAll();
    EXPECT_EQ(outcome, SentenceSaveOutcome::dropped("stale"));
    EXPECT_FALSE(UnsavedCounter::counts(*outcome));
}

TEST_F(SavingOverServerClientTest, AWordWaitingForItsRetryIsNotSentForTheNextAccount) {
    auto saver = wordSaver();
    // The data server times out once, then would save whatever it is sent.
    transport_->script("/rest/v1/rpc/save_word_snapshot_v1", ServerResponse::timedOut());
    transport_->scriptHttp("/rest/v1/rpc/save_word_snapshot_v1", 200,
                           R"({"status":"ok","word_id":"w","snapshot_state":"inserted"})");
    saver->enqueue(word("0C0C0C0C-0000-4000-8000-000000000000", "first"));
    saver->enqueue(word("0D0D0D0D-0000-4000-8000-000000000000", "second"));
    main_->runAll();
    EXPECT_EQ(transport_->requestCount(), 1u);

    // Another account signs in while the first word waits for its retry: neither it nor the word
    // queued behind it goes out with that account's login.
    switchAccount();
    clock_->advance(1.5);
    main_->runAll();
    EXPECT_EQ(transport_->requestCount(), 1u);
    ASSERT_EQ(outcomes_.size(), 2u);
    for (const auto& outcome : outcomes_) {
        EXPECT_EQ(outcome.result, fail(SaveVerdict::drop("account_changed")));
    }
    EXPECT_EQ(outcomes_[0].attempts, 1);
    EXPECT_EQ(outcomes_[1].attempts, 0);
    EXPECT_EQ(unsaved_.total(), 0);
    EXPECT_EQ(saver->pending(), 0);
}

TEST_F(SavingOverServerClientTest, AReviewAnsweredAfterTheAccountChangedRepliesStale) {
    auto recorder = ServerStudyRecorder::make(
        client_, session_, [] { return std::string("op-1"); }, clock_);
    StudyRoutes routes(recorder, main_);
    transport_->scriptHttp("/rest/v1/reviews", 201, "[]");
    transport_->hold(true);
    std::optional<BridgeReply> reply;
    routes.routes().at("save_review").handler()(BridgeArgs({true, "w1"}), [&](BridgeReply r) {
        reply = std::move(r);
    });
    main_->runAll();
    switchAccount();
    transport_->releaseAll();
    main_->runAll();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, BridgeReply::failed(CallFailure::stale()));
    EXPECT_EQ(transport_->requestCount(), 1u);
}

}  // namespace
}  // namespace parlendo
