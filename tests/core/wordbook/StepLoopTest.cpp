#include <gtest/gtest.h>

#include "wordbook/StepLoop.h"

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace parlendo {
namespace {

TEST(StepLoopTest, StepsAnsweredAtOnceDoNotNest) {
    // Nested calls this deep would overflow the stack.
    int steps = 0;
    StepLoop::run([&](Completion<void(bool)> again) { again(++steps < 300'000); });
    EXPECT_EQ(steps, 300'000);
}

TEST(StepLoopTest, StepsAnsweredOnOtherThreadsGoOnInOrder) {
    std::atomic<int> steps = 0;
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::promise<void> done;
    StepLoop::run([&](Completion<void(bool)> again) {
        const int step = ++steps;
        if (step % 2 == 0) {
            again(true);  // every other step answers at once
            return;
        }
        std::lock_guard lock(mutex);
        threads.emplace_back([&done, step, again = std::move(again)]() mutable {
            if (step >= 41) {
                done.set_value();
            }
            again(step < 41);
        });
    });
    done.get_future().wait();
    for (;;) {
        std::lock_guard lock(mutex);
        if (threads.size() == 21) {
            break;
        }
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(steps, 41);
}

}  // namespace
}  // namespace parlendo
