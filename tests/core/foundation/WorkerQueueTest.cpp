#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/WorkerQueue.h"

namespace parlendo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Records values from any thread.
class Recorder {
  public:
    void add(int value) {
        std::lock_guard lock(mutex_);
        values_.push_back(value);
    }
    std::vector<int> values() const {
        std::lock_guard lock(mutex_);
        return values_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<int> values_;
};

// A value whose destruction is observable (captured by tasks to check they were freed).
struct Token {
    explicit Token(std::atomic<int>& destroyed) : destroyed(destroyed) {}
    ~Token() { destroyed.fetch_add(1); }
    std::atomic<int>& destroyed;
};

TEST(SerialQueue, RunsTasksInPostingOrderOnItsOwnThread) {
    SerialQueue queue("test.fifo");
    EXPECT_EQ(queue.name(), "test.fifo");
    Recorder recorder;
    std::vector<std::thread::id> threads(1000);
    for (int i = 0; i < 1000; ++i) {
        queue.post([&recorder, &threads, i] {
            recorder.add(i);
            threads[static_cast<size_t>(i)] = std::this_thread::get_id();
        });
    }
    queue.drain();
    const auto values = recorder.values();
    ASSERT_EQ(values.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(values[static_cast<size_t>(i)], i);
    }
    for (const auto& id : threads) {
        EXPECT_EQ(id, threads[0]);
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(SerialQueue, IsCurrentOnlyOnItsOwnThread) {
    SerialQueue a("test.a");
    SerialQueue b("test.b");
    EXPECT_FALSE(a.isCurrent());
    std::promise<std::vector<bool>> seen;
    a.post([&] {
        std::promise<bool> onB;
        b.post([&] { onB.set_value(a.isCurrent()); });
        seen.set_value({a.isCurrent(), b.isCurrent(), onB.get_future().get()});
    });
    EXPECT_EQ(seen.get_future().get(), (std::vector<bool>{true, false, false}));
    EXPECT_FALSE(a.isCurrent());
}

TEST(SerialQueue, TimedTasksRunInDueOrderNeverEarly) {
    SerialQueue queue("test.timers");
    Recorder recorder;
    const auto start = Clock::now();
    std::vector<Clock::duration> ranAfter(3);
    queue.postAfter(0.06, [&] {
        recorder.add(3);
        ranAfter[2] = Clock::now() - start;
    });
    queue.postAfter(0.02, [&] {
        recorder.add(1);
        ranAfter[0] = Clock::now() - start;
    });
    queue.postAfter(0.04, [&] {
        recorder.add(2);
        ranAfter[1] = Clock::now() - start;
    });
    queue.post([&] { recorder.add(0); });
    std::this_thread::sleep_for(150ms);
    queue.drain();
    EXPECT_EQ(recorder.values(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_GE(ranAfter[0], 20ms);
    EXPECT_GE(ranAfter[1], 40ms);
    EXPECT_GE(ranAfter[2], 60ms);
}

TEST(SerialQueue, EqualDelaysKeepPostingOrder) {
    SerialQueue queue("test.ties");
    Recorder recorder;
    std::promise<void> blocked;
    std::shared_future<void> release = blocked.get_future().share();
    // Hold the thread so that every timer is due by the time it looks again.
    queue.post([release] { release.wait(); });
    for (int i = 0; i < 200; ++i) {
        queue.postAfter(0.001, [&recorder, i] { recorder.add(i); });
    }
    std::this_thread::sleep_for(20ms);
    blocked.set_value();
    queue.drain();
    const auto values = recorder.values();
    ASSERT_EQ(values.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(values[static_cast<size_t>(i)], i);
    }
}

TEST(SerialQueue, ShortTimerPostedAfterLongOneIsNotDelayed) {
    SerialQueue queue("test.wake");
    queue.postAfter(30.0, [] {});
    std::promise<void> fired;
    const auto start = Clock::now();
    queue.postAfter(0.01, [&] { fired.set_value(); });
    ASSERT_EQ(fired.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST(SerialQueue, NonPositiveDelaysAreOrdinaryPosts) {
    SerialQueue queue("test.zero");
    Recorder recorder;
    std::promise<void> blocked;
    std::shared_future<void> release = blocked.get_future().share();
    queue.post([release] { release.wait(); });
    queue.post([&] { recorder.add(1); });
    queue.postAfter(0, [&] { recorder.add(2); });
    queue.postAfter(-5, [&] { recorder.add(3); });
    queue.postAfter(std::nan(""), [&] { recorder.add(4); });
    queue.post([&] { recorder.add(5); });
    blocked.set_value();
    queue.drain();
    EXPECT_EQ(recorder.values(), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(SerialQueue, DrainWaitsForEarlierWorkAndNeverDeadlocksOnItself) {
    SerialQueue queue("test.drain");
    std::atomic<int> done{0};
    for (int i = 0; i < 50; ++i) {
        queue.post([&] {
            std::this_thread::sleep_for(100us);
            done.fetch_add(1);
        });
    }
    queue.drain();
    EXPECT_EQ(done.load(), 50);

    std::promise<void> drained;
    queue.post([&] {
        queue.drain();  // from its own thread: returns at once
        drained.set_value();
    });
    EXPECT_EQ(drained.get_future().wait_for(5s), std::future_status::ready);
}

TEST(SerialQueue, DestructionFinishesReadyWorkAndDropsTimers) {
    std::atomic<int> destroyed{0};
    std::atomic<int> ran{0};
    std::atomic<int> ranTimed{0};
    std::atomic<int> ranFollowUp{0};
    const auto start = Clock::now();
    std::promise<void> blocked;
    std::shared_future<void> release = blocked.get_future().share();
    std::thread releaser;
    {
        SerialQueue queue("test.dtor");
        queue.post([release] { release.wait(); });
        for (int i = 0; i < 100; ++i) {
            queue.post([&, token = std::make_shared<Token>(destroyed)] {
                ran.fetch_add(1);
                // Work posted by a ready task during destruction still runs.
                queue.post([&ranFollowUp] { ranFollowUp.fetch_add(1); });
            });
        }
        for (int i = 0; i < 10; ++i) {
            queue.postAfter(
                3600, [&, token = std::make_shared<Token>(destroyed)] { ranTimed.fetch_add(1); });
        }
        queue.postAfter(1e300, [token = std::make_shared<Token>(destroyed)] {});
        releaser = std::thread([&] {
            std::this_thread::sleep_for(20ms);  // the destructor is waiting by now
            blocked.set_value();
        });
    }
    releaser.join();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(ran.load(), 100);
    EXPECT_EQ(ranFollowUp.load(), 100);
    EXPECT_EQ(ranTimed.load(), 0);
    EXPECT_EQ(destroyed.load(), 111);  // every capture freed
}

TEST(SerialQueue, TimerWhoseCaptureRepostsIsDroppedWithoutDeadlock) {
    // Dropping a timed task destroys its captures; a capture that posts to the queue from its
    // destructor must not deadlock the queue's teardown.
    struct PostsOnDestruction {
        WorkerQueue* queue;
        ~PostsOnDestruction() {
            queue->post([] {});
        }
    };
    const auto start = Clock::now();
    {
        SerialQueue queue("test.repost");
        queue.postAfter(3600,
                        [p = std::make_shared<PostsOnDestruction>(PostsOnDestruction{&queue})] {});
    }
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(SerialQueue, QueueMayBeDestroyedByItsOwnTask) {
    // The last owner of a queue can be a task running on it.
    auto queue = std::make_shared<SerialQueue>("test.self");
    std::promise<void> done;
    auto* raw = queue.get();
    raw->post([q = std::move(queue), &done]() mutable {
        q.reset();
        done.set_value();
    });
    EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    std::this_thread::sleep_for(20ms);  // let the thread finish its loop (ASan sees any misuse)
}

TEST(SerialQueue, ConcurrentPostersKeepTheirOwnOrder) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 2000;
    SerialQueue queue("test.many");
    int unguarded = 0;  // touched only on the queue's thread
    std::vector<std::vector<int>> seen(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kPerThread; ++i) {
                queue.post([&, t, i] {
                    ++unguarded;
                    seen[static_cast<size_t>(t)].push_back(i);
                });
                if (i % 500 == 0) {
                    queue.postAfter(0.001, [&] { ++unguarded; });
                }
            }
        });
    }
    for (auto& p : posters) {
        p.join();
    }
    std::this_thread::sleep_for(10ms);
    queue.drain();
    EXPECT_EQ(unguarded, kThreads * kPerThread + kThreads * (kPerThread / 500));
    for (const auto& values : seen) {
        ASSERT_EQ(values.size(), static_cast<size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i) {
            EXPECT_EQ(values[static_cast<size_t>(i)], i);
        }
    }
}

TEST(ThreadPool, RunsTasksConcurrentlyAndKnowsItsThreads) {
    ThreadPool pool("test.pool", 4);
    std::latch together(4);
    std::atomic<int> current{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 4; ++i) {
        pool.post([&] {
            if (pool.isCurrent()) {
                current.fetch_add(1);
            }
            together.arrive_and_wait();  // would never return with fewer than four threads
            finished.fetch_add(1);
        });
    }
    pool.drain();
    while (finished.load() < 4) {
        std::this_thread::yield();
    }
    EXPECT_EQ(current.load(), 4);
    EXPECT_FALSE(pool.isCurrent());
}

TEST(ThreadPool, ManyPostersManyWorkersEveryTaskOnce) {
    std::vector<std::atomic<int>> counts(4000);
    {
        ThreadPool pool("test.pool2", 4);
        std::vector<std::thread> posters;
        for (int t = 0; t < 4; ++t) {
            posters.emplace_back([&, t] {
                for (int i = 0; i < 1000; ++i) {
                    pool.post([&counts, n = t * 1000 + i] {
                        counts[static_cast<size_t>(n)].fetch_add(1);
                    });
                }
            });
        }
        for (auto& p : posters) {
            p.join();
        }
    }  // destruction finishes every ready task
    for (const auto& c : counts) {
        EXPECT_EQ(c.load(), 1);
    }
}

TEST(ThreadPool, GlobalPoolIsOneLongLivedPool) {
    ThreadPool& pool = ThreadPool::global();
    EXPECT_EQ(&pool, &ThreadPool::global());
    std::promise<bool> onPool;
    pool.post([&] { onPool.set_value(ThreadPool::global().isCurrent()); });
    EXPECT_TRUE(onPool.get_future().get());
    std::promise<void> timed;
    pool.postAfter(0.005, [&] { timed.set_value(); });
    EXPECT_EQ(timed.get_future().wait_for(5s), std::future_status::ready);
}

}  // namespace
}  // namespace parlendo
