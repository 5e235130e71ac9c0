#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "saving/SaveRetry.h"
#include "saving/WordSaver.h"

#include <deque>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::LogCapture;
using testing::ManualExecutor;

// A backend whose answers the test gives one by one; records which path each call took.
class FakeSaveBackend final : public SaveBackend {
  public:
    void snapshot(SaveWork work, Completion<void(CallResult)> completion) override {
        calls.push_back("rpc:" + work.lemma);
        snapshots.push_back(std::move(completion));
    }
    void legacy(SaveWork work, Completion<void(bool)> completion) override {
        calls.push_back("legacy:" + work.lemma);
        legacies.push_back(std::move(completion));
    }
    bool signedIn(const std::string& owner) const override { return owner == "user-1"; }
    void answer(CallResult result) {
        ASSERT_FALSE(snapshots.empty());
        auto next = std::move(snapshots.front());
        snapshots.pop_front();
        next(std::move(result));
    }
    void answerLegacy(bool ok) {
        ASSERT_FALSE(legacies.empty());
        auto next = std::move(legacies.front());
        legacies.pop_front();
        next(ok);
    }

    std::vector<std::string> calls;
    std::deque<Completion<void(CallResult)>> snapshots;
    std::deque<Completion<void(bool)>> legacies;
};

const std::string receipt =
    R"({"status":"ok","word_id":"w1","snapshot_state":"inserted","created":true,"sense_count":1})";

class WordSaverTest : public ::testing::Test {
  protected:
    WordSaverTest()
        : clock_(std::make_shared<FakeClock>()),
          executor_(std::make_shared<ManualExecutor>(clock_)),
          backend_(std::make_shared<FakeSaveBackend>()) {
        saver_ = WordSaver::make(backend_, SaveRetry::maxAttempts, SaveRetry::backoff, executor_);
        saver_->setOnOutcome([this](const WordSaver::Outcome& o) { outcomes_.push_back(o); });
    }

    static SaveWork work(const std::string& lemma) {
        SaveWork work("ABCDEF12-3456-4789-8ABC-DEF012345678", "SRC", lemma, std::nullopt,
                      std::nullopt, {{"k", "d", "", ""}}, 0);
        work.owner = "user-1";
        return work;
    }

    LogCapture log_;
    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> executor_;
    std::shared_ptr<FakeSaveBackend> backend_;
    std::shared_ptr<WordSaver> saver_;
    std::vector<WordSaver::Outcome> outcomes_;
};

TEST_F(WordSaverTest, RetriesTransientFailuresWithTheBackoffThenGivesUp) {
    saver_->enqueue(work("Tide"));
    const std::string lemma = Log::redact("Tide");
    backend_->answer(fail(CallFailure::timeout()));
    EXPECT_EQ(backend_->calls.size(), 1u);
    clock_->advance(1.4);
    EXPECT_EQ(backend_->calls.size(), 1u);
    clock_->advance(0.1);
    EXPECT_EQ(backend_->calls.size(), 2u);
    backend_->answer(fail(CallFailure::timeout()));
    clock_->advance(1.9);
    EXPECT_EQ(backend_->calls.size(), 2u);
    EXPECT_EQ(saver_->pending(), 1);
    clock_->advance(0.1);
    backend_->answer(fail(CallFailure::timeout()));

    EXPECT_EQ(
        log_.messages("save"),
        (std::vector<std::string>{"재시도 1/3 why=timeout delay=1.5s lemma=" + lemma,
                                  "재시도 2/3 why=timeout delay=2.0s lemma=" + lemma,
                                  "🔴 포기 attempts=3 why=timeout lemma=" + lemma + " — 유실"}));
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_EQ(outcomes_[0].attempts, 3);
    EXPECT_EQ(outcomes_[0].result, fail(SaveVerdict::retry("timeout")));
    EXPECT_EQ(outcomes_[0].path, "rpc");
    EXPECT_EQ(saver_->pending(), 0);
}

TEST_F(WordSaverTest, AMissingSnapshotFunctionSwitchesThisAndEveryLaterSaveToLegacy) {
    saver_->enqueue(work("one"));
    saver_->enqueue(work("two"));
    backend_->answer(fail(testing::rejection(404, "PGRST202")));
    EXPECT_FALSE(saver_->rpcAvailable());
    EXPECT_TRUE(outcomes_.empty());
    backend_->answerLegacy(true);
    backend_->answerLegacy(false);
    EXPECT_EQ(backend_->calls, (std::vector<std::string>{"rpc:one", "legacy:one", "legacy:two"}));
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[0].attempts, 1);
    EXPECT_EQ(outcomes_[0].path, "legacy");
    EXPECT_EQ(outcomes_[0].result,
              (SaveReceipt{"", true, false, SaveReceipt::SnapshotState::inserted, 1}));
    EXPECT_EQ(outcomes_[1].result, fail(SaveVerdict::retry("legacy_failed")));
    EXPECT_EQ(log_.messages("save"),
              std::vector<std::string>{
                  "save_word_snapshot_v1 없음(PGRST202) — 이 세션은 legacy 2왕복으로"});
}

TEST_F(WordSaverTest, SavesOneAtATimeInOrderAndReportsBeforeTheNextStarts) {
    saver_->setOnOutcome([this](const WordSaver::Outcome& o) {
        outcomes_.push_back(o);
        EXPECT_EQ(backend_->snapshots.size(), 0u) << "the next save starts after the report";
    });
    saver_->enqueue(work("first"));
    saver_->enqueue(work("second"));
    EXPECT_EQ(saver_->pending(), 2);
    EXPECT_EQ(backend_->calls, std::vector<std::string>{"rpc:first"});

    // A waiting retry holds the queue.
    backend_->answer(fail(testing::rejection(500, "40P01")));
    clock_->advance(1.0);
    EXPECT_EQ(backend_->calls.size(), 1u);
    EXPECT_EQ(saver_->pending(), 2);
    clock_->advance(0.5);
    backend_->answer(receipt);
    EXPECT_EQ(saver_->pending(), 1);
    EXPECT_EQ(backend_->calls, (std::vector<std::string>{"rpc:first", "rpc:first", "rpc:second"}));
    backend_->answer(R"({"status":"ok"})");
    EXPECT_EQ(saver_->pending(), 0);

    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[0].work.lemma, "first");
    EXPECT_EQ(outcomes_[0].attempts, 2);
    EXPECT_EQ(outcomes_[0].result,
              (SaveReceipt{"w1", true, false, SaveReceipt::SnapshotState::inserted, 1}));
    EXPECT_EQ(outcomes_[1].result, fail(SaveVerdict::terminal("bad_shape")));
    EXPECT_TRUE(log_.contains("save", "rpc ok lemma=" + Log::redact("first") +
                                          " state=inserted created=true resurrected=false "
                                          "senses=1 attempts=2"));
    EXPECT_TRUE(log_.contains("save", "응답 모양 불일치 work=ABCDEF12"));
}

TEST_F(WordSaverTest, DropsAndRefusalsEndAtOnce) {
    saver_->enqueue(work("a"));
    backend_->answer(fail(CallFailure::authRequired()));
    saver_->enqueue(work("b"));
    backend_->answer(fail(testing::rejection(400, "P0001", "source_not_found")));
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[0].attempts, 1);
    EXPECT_EQ(outcomes_[0].result, fail(SaveVerdict::drop("auth_required")));
    EXPECT_EQ(outcomes_[1].result, fail(SaveVerdict::terminal("source_not_found")));
    EXPECT_EQ(log_.messages("save"),
              (std::vector<std::string>{
                  "버림 why=auth_required lemma=" + Log::redact("a"),
                  "🔴 거부 code=source_not_found lemma=" + Log::redact("b") + " — 재시도 안 함"}));
    EXPECT_EQ(clock_->pendingTimers(), 0u);
}

TEST_F(WordSaverTest, AnOutcomeHookMayEnqueueMoreWork) {
    bool again = true;
    saver_->setOnOutcome([&](const WordSaver::Outcome& o) {
        outcomes_.push_back(o);
        if (again) {
            again = false;
            saver_->enqueue(work("follow-up"));
        }
    });
    saver_->enqueue(work("first"));
    backend_->answer(receipt);
    EXPECT_EQ(backend_->calls, (std::vector<std::string>{"rpc:first", "rpc:follow-up"}));
    backend_->answer(receipt);
    EXPECT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(saver_->pending(), 0);
}

TEST_F(WordSaverTest, AnswersForASaverThatIsGoneAreIgnored) {
    saver_->enqueue(work("late"));
    saver_.reset();
    backend_->answer(receipt);
    EXPECT_TRUE(outcomes_.empty());
}

TEST(SaveRetryTest, DelaysClampToTheLastAndPrintWithAFraction) {
    EXPECT_EQ(SaveRetry::delayAfter(SaveRetry::backoff, 1), 1.5);
    EXPECT_EQ(SaveRetry::delayAfter(SaveRetry::backoff, 2), 2.0);
    EXPECT_EQ(SaveRetry::delayAfter(SaveRetry::backoff, 7), 2.0);
    EXPECT_EQ(SaveRetry::delayAfter({}, 1), 0.0);
    EXPECT_EQ(SaveRetry::formatDelay(1.5), "1.5");
    EXPECT_EQ(SaveRetry::formatDelay(2.0), "2.0");
    EXPECT_EQ(SaveRetry::formatDelay(0.1), "0.1");
}

}  // namespace
}  // namespace parlendo
