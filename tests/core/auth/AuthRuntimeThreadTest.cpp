#include <gtest/gtest.h>

#include "FakeAuthTransport.h"
#include "FakeSessionStore.h"
#include "auth/AuthRuntime.h"
#include "foundation/Clock.h"
#include "foundation/WorkerQueue.h"

#include <atomic>
#include <thread>
#include <vector>

namespace parlendo {
namespace {

using testing::FakeAuthTransport;
using testing::FakeSessionStore;
using testing::testSession;

// The runtime over real executors and clocks, as in the program.
struct ThreadHarness {
    std::shared_ptr<SerialQueue> main = std::make_shared<SerialQueue>("test.main");
    std::shared_ptr<ThreadPool> pool = std::make_shared<ThreadPool>("test.pool", 2);
    std::shared_ptr<FakeAuthTransport> transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<FakeSessionStore> store = std::make_shared<FakeSessionStore>();
    std::shared_ptr<AuthRuntime> runtime;

    ThreadHarness() {
        runtime = AuthRuntime::make(
            {transport, store, SystemClock::shared(), SystemClock::shared(), main, pool});
        transport->answerSignIn(testSession("user-1", "a", SystemClock::shared()->now() + 3600));
        runtime->signIn("a", "b", [](AuthRuntime::ContextResult) {});
        transport->answerSignIn(std::nullopt);
    }
};

TEST(AuthRuntimeThreads, ManyCallersShareOneOutstandingRefresh) {
    ThreadHarness h;
    constexpr int callers = 16;
    std::atomic<int> answered{0};
    std::atomic<size_t> mostPending{0};
    std::atomic<bool> stop{false};

    std::thread deliverer([&] {
        while (!stop) {
            mostPending = std::max(mostPending.load(), h.transport->pendingRefreshes());
            h.transport->finishRefresh(testSession("user-1", "fresh"));
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                std::atomic<bool> done{false};
                h.runtime->recover([&](AuthSessionResult r) {
                    EXPECT_TRUE(r.has_value());
                    done = true;
                });
                while (!done) {
                    std::this_thread::yield();
                }
                ++answered;
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    stop = true;
    deliverer.join();
    EXPECT_EQ(answered, callers * 20);
    EXPECT_LE(mostPending.load(), 1u);
    EXPECT_LE(h.transport->refreshTokens().size(), static_cast<size_t>(callers * 20));
    EXPECT_TRUE(h.runtime->isLoggedIn());
    EXPECT_EQ(h.runtime->generation(), 1);
}

TEST(AuthRuntimeThreads, SignOutDrainsWorkersAndThenAdmitsNothing) {
    ThreadHarness h;
    AuthContext context = *h.runtime->context();
    std::atomic<bool> stop{false};
    std::atomic<int> admitted{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 6; ++i) {
        workers.emplace_back([&, awaited = i % 2 == 0] {
            while (!stop) {
                if (h.runtime->beginOperation(context, awaited)) {
                    ++admitted;
                    std::this_thread::yield();
                    h.runtime->endOperation(awaited);
                }
            }
        });
    }
    while (admitted < 100) {
        std::this_thread::yield();
    }
    std::optional<LogoutOutcome> outcome;
    std::atomic<bool> finished{false};
    h.runtime->signOut(nullptr, 5.0, [&](LogoutOutcome o) {
        outcome = o;
        finished = true;
    });
    while (!finished) {
        std::this_thread::yield();
    }
    stop = true;
    for (auto& t : workers) {
        t.join();
    }
    EXPECT_TRUE(outcome->operationsDrained);
    EXPECT_FALSE(h.runtime->beginOperation(context, true));
    EXPECT_EQ(h.runtime->inFlightOperations(), 0);
    EXPECT_EQ(h.runtime->backgroundInFlight(), 0);
}

}  // namespace
}  // namespace parlendo
