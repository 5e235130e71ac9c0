#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ManualExecutor.h"
#include "foundation/Deadline.h"
#include "lookup/LookupTimes.h"

#include "foundation/WorkerQueue.h"

#include <atomic>
#include <future>
#include <optional>
#include <vector>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::ManualExecutor;

class DeadlineTest : public ::testing::Test {
  protected:
    DeadlineTest()
        : clock_(std::make_shared<FakeClock>()),
          executor_(std::make_shared<ManualExecutor>(clock_)) {}

    // Races an operation that answers `value` after `after` seconds (never when nullopt).
    void race(std::optional<double> after, int value) {
        Deadline::race<int>(
            LookupTimes::dictionaryDeadline, -1, *executor_,
            [this, after, value](Completion<void(int)> done) {
                if (after) {
                    executor_->postAfter(
                        *after, [done = std::move(done), value]() mutable { done(value); });
                } else {
                    held_.push_back(std::move(done));
                }
            },
            [this](int v) {
                delivered_.push_back({clock_->elapsed(), v});
            });
    }

    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> executor_;
    std::vector<Completion<void(int)>> held_;
    std::vector<std::pair<double, int>> delivered_;
};

TEST_F(DeadlineTest, AnEarlyResultWinsAndTheTimerIsDropped) {
    race(1.0, 7);
    clock_->advance(1.0);
    ASSERT_EQ(delivered_.size(), 1u);
    EXPECT_EQ(delivered_[0], (std::pair<double, int>{1.0, 7}));
    clock_->advance(5);
    EXPECT_EQ(delivered_.size(), 1u);
    EXPECT_EQ(clock_->pendingTimers(), 0u);
}

TEST_F(DeadlineTest, TheLateValueComesAtTheDeadlineAndTheOperationRunsOn) {
    race(std::nullopt, 7);
    clock_->advance(2.2);
    EXPECT_TRUE(delivered_.empty());
    clock_->advance(0.1);
    ASSERT_EQ(delivered_.size(), 1u);
    EXPECT_EQ(delivered_[0].second, -1);
    // The operation was not stopped: it still holds its completion and may finish; its value is
    // dropped.
    ASSERT_EQ(held_.size(), 1u);
    held_[0](7);
    EXPECT_EQ(delivered_.size(), 1u);
}

TEST_F(DeadlineTest, ASimultaneousFinishDeliversOnce) {
    race(LookupTimes::dictionaryDeadline, 7);
    clock_->advance(3);
    EXPECT_EQ(delivered_.size(), 1u);
}

TEST_F(DeadlineTest, AnOperationThatAnswersAtOnceWins) {
    Deadline::race<int>(
        8.3, -1, *executor_, [](Completion<void(int)> done) { done(3); },
        [this](int v) {
            delivered_.push_back({clock_->elapsed(), v});
        });
    ASSERT_EQ(delivered_.size(), 1u);
    EXPECT_EQ(delivered_[0].second, 3);
    clock_->advance(10);
    EXPECT_EQ(delivered_.size(), 1u);
}

// The timer fires on the timer queue while the operations answer on the pool: every race still
// delivers exactly once.
TEST(DeadlineThreads, RacingThreadsDeliverExactlyOnce) {
    constexpr int races = 200;
    std::atomic<int> delivered{0};
    std::promise<void> all;
    std::atomic<int> finished{0};
    ExecutorPtr timers = SerialQueue::timers();
    for (int i = 0; i < races; ++i) {
        Deadline::race<int>(
            i % 2 == 0 ? 0.0 : 0.001, -1, *timers,
            [&](Completion<void(int)> done) {
                ThreadPool::global().post([done = std::move(done)]() mutable { done(1); });
            },
            [&](int) {
                delivered++;
                if (++finished == races) {
                    all.set_value();
                }
            });
    }
    ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    ThreadPool::global().drain();
    EXPECT_EQ(delivered.load(), races);
}

// A deadline is kept even when every thread of the pool is busy with blocking work: timers do
// not share the pool.
TEST(DeadlineThreads, TheDeadlineIsKeptWhileThePoolIsBlocked) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    for (int i = 0; i < 8; ++i) {
        ThreadPool::global().post([released] { released.wait(); });
    }
    std::promise<int> answer;
    Deadline::race<int>(
        0.01, -1, *SerialQueue::timers(),
        [](Completion<void(int)> done) {
            ThreadPool::global().post([done = std::move(done)]() mutable { done(1); });
        },
        [&](int value) { answer.set_value(value); });
    auto got = answer.get_future();
    const bool ready = got.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    release.set_value();
    ASSERT_TRUE(ready);
    EXPECT_EQ(got.get(), -1);
    ThreadPool::global().drain();
}

}  // namespace
}  // namespace parlendo
