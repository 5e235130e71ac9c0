#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/GlibMainExecutor.h"

namespace parlendo {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// A private main context with its loop, run on the test's thread.
class GlibMainExecutorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context = g_main_context_new();
        loop = g_main_loop_new(context, FALSE);
        executor = std::make_unique<GlibMainExecutor>(context);
    }
    void TearDown() override {
        executor.reset();
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
    // Runs the loop until `quit()` is posted or `limit` passes.
    void runFor(std::chrono::milliseconds limit) {
        GSource* guard = g_timeout_source_new(static_cast<guint>(limit.count()));
        g_source_set_callback(
            guard,
            [](gpointer data) -> gboolean {
                g_main_loop_quit(static_cast<GMainLoop*>(data));
                return G_SOURCE_REMOVE;
            },
            loop, nullptr);
        g_source_attach(guard, context);
        g_main_loop_run(loop);
        g_source_destroy(guard);
        g_source_unref(guard);
    }
    void quit() {
        executor->post([this] { g_main_loop_quit(loop); });
    }

    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    std::unique_ptr<GlibMainExecutor> executor;
};

TEST_F(GlibMainExecutorTest, RunsPostsInOrderOnTheLoopThread) {
    std::vector<int> order;
    for (int i = 0; i < 200; ++i) {
        executor->post([&order, i] { order.push_back(i); });
    }
    executor->post([&] {
        executor->post([&] { order.push_back(1000); });  // posted from a task: runs after
    });
    quit();
    executor->post([&] { order.push_back(2000); });
    runFor(5000ms);
    ASSERT_GE(order.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
}

TEST_F(GlibMainExecutorTest, TimersRunInDueOrderAndNeverEarly) {
    std::vector<int> order;
    const auto start = SteadyClock::now();
    std::vector<SteadyClock::duration> at(3);
    executor->postAfter(0.06, [&] {
        order.push_back(3);
        at[2] = SteadyClock::now() - start;
        g_main_loop_quit(loop);
    });
    executor->postAfter(0.02, [&] {
        order.push_back(1);
        at[0] = SteadyClock::now() - start;
    });
    executor->postAfter(0.04, [&] {
        order.push_back(2);
        at[1] = SteadyClock::now() - start;
    });
    executor->postAfter(0, [&] { order.push_back(0); });
    executor->postAfter(-1, [&] { order.push_back(0); });
    executor->postAfter(std::nan(""), [&] { order.push_back(0); });
    runFor(5000ms);
    EXPECT_EQ(order, (std::vector<int>{0, 0, 0, 1, 2, 3}));
    EXPECT_GE(at[0], 20ms);
    EXPECT_GE(at[1], 40ms);
    EXPECT_GE(at[2], 60ms);
}

TEST_F(GlibMainExecutorTest, CurrentOnlyWhileTheLoopRunsOnThisThread) {
    EXPECT_FALSE(executor->isCurrent());
    bool inside = false;
    std::atomic<int> fromOtherThread{-1};
    executor->post([&] {
        inside = executor->isCurrent();
        std::thread([&] { fromOtherThread = executor->isCurrent() ? 1 : 0; }).join();
        g_main_loop_quit(loop);
    });
    runFor(5000ms);
    EXPECT_TRUE(inside);
    EXPECT_EQ(fromOtherThread.load(), 0);
    EXPECT_FALSE(executor->isCurrent());
}

TEST_F(GlibMainExecutorTest, ManyThreadsPostEveryTaskRunsOnce) {
    constexpr int kThreads = 8;
    constexpr int kEach = 500;
    std::vector<int> counts(kThreads * kEach, 0);  // touched on the loop thread only
    std::atomic<int> ran{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                executor->post([&, n = t * kEach + i] {
                    ++counts[static_cast<size_t>(n)];
                    if (ran.fetch_add(1) + 1 == kThreads * kEach) {
                        g_main_loop_quit(loop);
                    }
                });
            }
        });
    }
    runFor(20000ms);
    for (auto& p : posters) {
        p.join();
    }
    EXPECT_EQ(ran.load(), kThreads * kEach);
    for (int c : counts) {
        EXPECT_EQ(c, 1);
    }
}

TEST_F(GlibMainExecutorTest, TasksThatNeverRunAreFreedWithTheirContext) {
    auto resource = std::make_shared<int>(1);
    std::weak_ptr<int> watch = resource;
    bool ran = false;
    executor->post([r = resource, &ran] { ran = true; });
    executor->postAfter(3600, [r = std::move(resource), &ran] { ran = true; });
    EXPECT_FALSE(watch.expired());
    executor.reset();
    g_main_loop_unref(loop);
    g_main_context_unref(context);   // the last reference: its sources go with it
    context = g_main_context_new();  // TearDown unrefs a loop and a context
    loop = g_main_loop_new(context, FALSE);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace parlendo
