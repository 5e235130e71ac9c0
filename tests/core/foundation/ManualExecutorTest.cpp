#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "FakeClock.h"
#include "ManualExecutor.h"

namespace parlendo::testing {
namespace {

TEST(ManualExecutor, RunsNothingUntilAskedThenEverythingInOrder) {
    ManualExecutor executor;
    std::vector<int> order;
    executor.post([&] {
        order.push_back(1);
        executor.post([&] { order.push_back(3); });  // posted while running: runs in this pass
    });
    executor.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(executor.pending(), 2u);
    EXPECT_EQ(executor.runAll(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(executor.runOne());
}

TEST(ManualExecutor, TimersFireInDueOrderWithTiesInPostingOrder) {
    auto clock = std::make_shared<FakeClock>();
    ManualExecutor executor(clock);
    std::vector<std::pair<int, double>> fired;
    const double start = clock->uptime();
    auto record = [&](int id) {
        return [&, id] {
            fired.emplace_back(id, clock->uptime());
        };
    };
    executor.postAfter(0.3, record(1));
    executor.postAfter(0.1, record(2));
    executor.postAfter(0.2, record(3));
    executor.postAfter(0.1, record(4));  // same due time as 2, posted later
    executor.postAfter(0, record(5));    // not a timer
    executor.runAll();
    EXPECT_EQ(fired, (std::vector<std::pair<int, double>>{{5, start}}));

    // Each timer sees the clock at exactly its due time.
    clock->advance(0.15);
    EXPECT_EQ(fired, (std::vector<std::pair<int, double>>{
                         {5, start}, {2, start + 0.1}, {4, start + 0.1}}));
    EXPECT_DOUBLE_EQ(clock->elapsed(), 0.15);
    clock->advance(1.0);
    EXPECT_EQ(fired.size(), 5u);
    EXPECT_EQ(fired[3], (std::pair<int, double>{3, start + 0.2}));
    EXPECT_EQ(fired[4], (std::pair<int, double>{1, start + 0.3}));
    EXPECT_EQ(clock->pendingTimers(), 0u);
}

TEST(ManualExecutor, WorkPostedByATimerRunsBeforeTheNextTimer) {
    auto clock = std::make_shared<FakeClock>();
    ManualExecutor executor(clock);
    std::vector<std::string> order;
    executor.postAfter(1.0, [&] {
        order.push_back("timer1");
        executor.post([&] { order.push_back("follow-up"); });
        // A timer scheduled from a timer fires in the same advance when it falls due in it.
        executor.postAfter(0.5, [&] { order.push_back("timer1.5"); });
    });
    executor.postAfter(2.0, [&] { order.push_back("timer2"); });
    clock->advance(5.0);
    EXPECT_EQ(order, (std::vector<std::string>{"timer1", "follow-up", "timer1.5", "timer2"}));
    EXPECT_DOUBLE_EQ(clock->uptime(), 1005.0);
    EXPECT_DOUBLE_EQ(clock->now(), 1'780'000'005.0);
}

TEST(ManualExecutor, ClockNeverRunsBackwardsOrForwardOnNegativeAdvance) {
    FakeClock clock;
    clock.advance(-3);
    EXPECT_DOUBLE_EQ(clock.elapsed(), 0);
    double seen = -1;
    clock.schedule(clock.uptime() - 10, [&] { seen = clock.elapsed(); });  // overdue
    clock.advance(0);
    EXPECT_DOUBLE_EQ(seen, 0);
    bool cancelled = true;
    const auto token = clock.schedule(clock.uptime() + 1, [&] { cancelled = false; });
    clock.cancel(token);
    clock.advance(2);
    EXPECT_TRUE(cancelled);
}

TEST(ManualExecutor, DestructionDropsQueuedWorkAndTimers) {
    auto clock = std::make_shared<FakeClock>();
    auto resource = std::make_shared<int>(1);
    std::weak_ptr<int> watch = resource;
    bool ran = false;
    {
        ManualExecutor executor(clock);
        executor.post([r = resource, &ran] { ran = true; });
        executor.postAfter(1.0, [r = std::move(resource), &ran] { ran = true; });
    }
    clock->advance(2.0);  // the timer finds its executor gone
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
}

TEST(ManualExecutor, CurrentOnItsOwnerThreadAndWhileRunningOnly) {
    ManualExecutor executor;
    EXPECT_TRUE(executor.isCurrent());
    // Another thread is never current, even while the owner runs a task.
    std::promise<bool> otherThread;
    executor.post(
        [&] { std::thread([&] { otherThread.set_value(executor.isCurrent()); }).join(); });
    executor.runAll();
    EXPECT_FALSE(otherThread.get_future().get());

    // A worker thread that runs the executor's tasks is current while it does.
    std::promise<bool> duringRun;
    std::thread worker([&] {
        executor.post([&] { duringRun.set_value(executor.isCurrent()); });
        const bool before = executor.isCurrent();
        executor.runAll();
        EXPECT_FALSE(before);
    });
    worker.join();
    EXPECT_TRUE(duringRun.get_future().get());
}

TEST(ManualExecutor, AcceptsPostsFromManyThreads) {
    ManualExecutor executor;
    std::vector<std::thread> threads;
    int count = 0;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                executor.post([&] { ++count; });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(executor.runAll(), 4000u);
    EXPECT_EQ(count, 4000);
}

}  // namespace
}  // namespace parlendo::testing
