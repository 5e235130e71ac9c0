#include <gtest/gtest.h>

#include "FakeAuthTransport.h"
#include "FakeSessionStore.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "auth/AuthRuntime.h"

#include <memory>

namespace parlendo {
namespace {

using testing::FakeAuthTransport;
using testing::FakeClock;
using testing::FakeSessionStore;
using testing::LogCapture;
using testing::ManualExecutor;
using testing::testSession;

struct Harness {
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>();
    std::shared_ptr<ManualExecutor> background = std::make_shared<ManualExecutor>(main->clock());
    std::shared_ptr<FakeClock> clock = main->clock();
    std::shared_ptr<FakeAuthTransport> transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<FakeSessionStore> store = std::make_shared<FakeSessionStore>();
    std::shared_ptr<AuthRuntime> runtime;
    std::vector<AuthState> states;
    int loggedOut = 0;

    Harness() {
        runtime = AuthRuntime::make({transport, store, clock, clock, main, background});
        runtime->setBackoffRandom([] { return 1.0; });
        runtime->setOnStateChange([this](AuthState s) { states.push_back(s); });
        runtime->setOnLoggedOut([this] { ++loggedOut; });
    }

    AuthContext signIn(const AuthSession& session) {
        transport->answerSignIn(session);
        std::optional<AuthContext> context;
        runtime->signIn(session.userID + "@example.com", "pw",
                        [&](AuthRuntime::ContextResult r) { context = *r; });
        transport->answerSignIn(std::nullopt);
        return *context;
    }

    // Moves both clocks; timers that fall due run, with what they post.
    void advance(double seconds) { clock->advance(seconds); }
    void settle() {
        while (main->runAll() + background->runAll() > 0) {
        }
    }
};

struct Collected {
    std::vector<AuthSessionResult> results;
    Completion<void(AuthSessionResult)> sink() {
        return [this](AuthSessionResult r) {
            results.push_back(r);
        };
    }
};

TEST(AuthRuntime, OneRefreshServesEveryCallerInOrder) {
    Harness h;
    h.signIn(testSession("user-1", "a"));
    h.store->setToken("refresh-stored");
    std::vector<std::string> order;
    std::optional<AuthRuntime::ContextResult> restored;
    h.runtime->restore([&](AuthRuntime::ContextResult r) {
        order.push_back("restore");
        restored = r;
    });
    h.runtime->recover([&](AuthSessionResult) { order.push_back("recover"); });
    h.runtime->refreshIfNeeded(1e9, [&](AuthSessionResult) { order.push_back("keeper"); });
    EXPECT_EQ(h.transport->pendingRefreshes(), 1u);

    h.transport->finishRefresh(testSession("user-1", "b"));
    EXPECT_EQ(order, (std::vector<std::string>{"restore", "recover", "keeper"}));
    ASSERT_TRUE(restored && *restored);
    EXPECT_EQ(**restored, (AuthContext{"user-1", 1}));
    EXPECT_EQ(h.transport->refreshTokens(), std::vector<std::string>{"refresh-stored"});
    EXPECT_EQ(h.store->token(), "refresh-b");
    EXPECT_EQ(h.runtime->state(), AuthState::ready);
}

TEST(AuthRuntime, BackoffPostponesKeeperAndRecoverButNotRestore) {
    LogCapture logs;
    Harness h;
    h.signIn(testSession("user-1"));
    Collected first;
    h.runtime->recover(first.sink());
    h.transport->finishRefresh(fail(AuthFailure::server(503)));
    EXPECT_TRUE(
        logs.contains("auth", "recover 갱신 실패(server_503) — 토큰 유지, 대기 15초 step=1"));
    EXPECT_EQ(h.runtime->backoffRemaining(), 15.0);

    h.advance(2.5);
    Collected postponed;
    h.runtime->recover(postponed.sink());
    ASSERT_EQ(postponed.results.size(), 1u);
    EXPECT_EQ(postponed.results[0].error(), AuthFailure::rateLimited());
    EXPECT_TRUE(logs.contains("auth", "recover 갱신 미룸 — 인증 서버 대기 중 remaining_s=13"));
    EXPECT_EQ(h.transport->pendingRefreshes(), 0u);

    h.store->setToken("refresh-a");
    h.runtime->restore([](AuthRuntime::ContextResult) {});
    EXPECT_EQ(h.transport->pendingRefreshes(), 1u);

    // A rate limit waits as long as the server's hint says, without jitter.
    h.runtime->setRetryAfterHint([] { return std::optional<double>(42); });
    h.transport->finishRefresh(fail(AuthFailure::rateLimited()));
    EXPECT_EQ(h.runtime->backoffRemaining(), 42.0);
    // A network failure keeps the token and does not step.
    h.advance(43);
    h.runtime->recover(first.sink());
    h.transport->finishRefresh(fail(AuthFailure::network()));
    EXPECT_EQ(h.runtime->backoffRemaining(), std::nullopt);
    EXPECT_TRUE(h.runtime->isLoggedIn());
}

TEST(AuthRuntime, LateResultsAreJudgedByGeneration) {
    LogCapture logs;
    Harness h;
    h.signIn(testSession("user-1", "a"));
    Collected late;
    h.runtime->recover(late.sink());
    // Another account signs in while the refresh is out.
    AuthContext second = h.signIn(testSession("user-2", "b"));
    EXPECT_EQ(second.generation, 2);

    h.transport->finishRefresh(testSession("user-1", "a2"));
    EXPECT_TRUE(logs.contains("auth", "recover 갱신 결과가 늦게 도착 — 세대가 바뀌어 버림"));
    EXPECT_EQ(h.runtime->userID(), "user-2");
    EXPECT_EQ(h.store->token(), "refresh-b");
    ASSERT_EQ(late.results.size(), 1u);
    EXPECT_EQ(late.results[0]->userID, "user-1");  // the waiter still gets the raw result

    // A late "token dead" for the replaced account clears nothing.
    Collected dead;
    h.runtime->recover(dead.sink());
    h.signIn(testSession("user-3", "c"));
    h.transport->finishRefresh(fail(AuthFailure::confirmedInvalid()));
    h.main->runAll();
    EXPECT_EQ(h.runtime->userID(), "user-3");
    EXPECT_EQ(h.store->token(), "refresh-c");
    EXPECT_EQ(h.runtime->state(), AuthState::ready);
    EXPECT_EQ(h.loggedOut, 0);
    ASSERT_EQ(dead.results.size(), 1u);
    EXPECT_EQ(dead.results[0].error(), AuthFailure::confirmedInvalid());
}

TEST(AuthRuntime, ConfirmedInvalidDropsTheSessionAndTellsTheMainQueue) {
    Harness h;
    h.signIn(testSession("user-1"));
    h.states.clear();
    std::int64_t generation = h.runtime->generation();
    h.runtime->recover([](AuthSessionResult) {});
    h.transport->finishRefresh(fail(AuthFailure::confirmedInvalid()));
    EXPECT_FALSE(h.runtime->isLoggedIn());
    EXPECT_EQ(h.runtime->state(), AuthState::loggedOut);
    EXPECT_EQ(h.store->token(), std::nullopt);
    EXPECT_EQ(h.runtime->generation(), generation);
    EXPECT_TRUE(h.states.empty());  // not before the main queue runs
    h.main->runAll();
    EXPECT_EQ(h.states, std::vector<AuthState>{AuthState::loggedOut});
    EXPECT_EQ(h.loggedOut, 1);
}

TEST(AuthRuntime, RestoreOutcomes) {
    LogCapture logs;
    Harness h;
    std::optional<AuthRuntime::ContextResult> result;
    h.runtime->restore([&](AuthRuntime::ContextResult r) { result = r; });
    EXPECT_EQ(result->error(), AuthFailure::confirmedInvalid());
    EXPECT_TRUE(h.transport->refreshTokens().empty());
    EXPECT_TRUE(logs.contains("auth", "저장된 세션 없음"));
    EXPECT_EQ(h.runtime->state(), AuthState::needLogin);

    // The answer arrives after a sign-in of the same session: that session's context.
    h.store->setToken("refresh-a");
    result.reset();
    h.runtime->restore([&](AuthRuntime::ContextResult r) { result = r; });
    AuthContext signedIn = h.signIn(testSession("user-1", "a"));
    h.transport->finishRefresh(testSession("user-1", "a"));
    EXPECT_EQ(**result, signedIn);

    // The answer arrives after a sign-out: superseded, the store stays empty.
    h.runtime->restore([&](AuthRuntime::ContextResult r) { result = r; });
    h.runtime->signOut(nullptr, 0, [](LogoutOutcome) {});
    h.settle();
    h.transport->finishRefresh(testSession("user-1", "a"));
    EXPECT_EQ(result->error(), AuthFailure::superseded());
    EXPECT_FALSE(h.runtime->isLoggedIn());
    EXPECT_EQ(h.store->token(), std::nullopt);
    EXPECT_TRUE(logs.contains("auth", "restore 결과가 늦게 도착"));
}

TEST(AuthRuntime, GenerationsAndOperationCounting) {
    Harness h;
    AuthContext first = h.signIn(testSession("user-1", "a"));
    EXPECT_EQ(first.generation, 1);
    // The same account again keeps the generation; another account bumps it.
    EXPECT_EQ(h.signIn(testSession("user-1", "a2")).generation, 1);
    AuthContext other = h.signIn(testSession("user-2", "b"));
    EXPECT_EQ(other.generation, 2);
    EXPECT_FALSE(h.runtime->isCurrent(first));
    EXPECT_FALSE(h.runtime->beginOperation(first, true));
    EXPECT_EQ(h.runtime->accessToken(first), std::nullopt);

    EXPECT_TRUE(h.runtime->beginOperation(other, true));
    EXPECT_TRUE(h.runtime->beginOperation(other, false));
    EXPECT_EQ(h.runtime->inFlightOperations(), 1);
    EXPECT_EQ(h.runtime->backgroundInFlight(), 1);
    h.runtime->endOperation(true);
    h.runtime->endOperation(true);
    EXPECT_EQ(h.runtime->inFlightOperations(), 0);

    // The token is handed out whatever its expiry.
    h.advance(1e6);
    EXPECT_EQ(h.runtime->accessToken(other), "access-b");
}

TEST(AuthRuntime, KeeperRefreshesOnlyInsideTheMargin) {
    Harness h;
    h.signIn(testSession("user-1", "a", h.clock->now() + 300));
    Collected outside;
    h.runtime->refreshIfNeeded(300, outside.sink());
    EXPECT_EQ(outside.results.at(0).error(), AuthFailure::network());
    h.advance(1);
    h.runtime->refreshIfNeeded(300);
    EXPECT_EQ(h.transport->pendingRefreshes(), 1u);
    h.transport->finishRefresh(testSession("user-1", "b"));
    EXPECT_EQ(h.store->token(), "refresh-b");
    EXPECT_EQ(h.runtime->generation(), 1);
}

TEST(AuthRuntime, StoreFailureIsTrackedUntilALaterSaveWorks) {
    LogCapture logs;
    Harness h;
    h.store->setSaveWorks(false);
    h.signIn(testSession("user-1"));
    EXPECT_TRUE(h.runtime->isLoggedIn());
    EXPECT_TRUE(h.runtime->sessionNotStored());
    EXPECT_TRUE(logs.contains("keychain", "🔴 로그인 값 저장 실패 where=login"));
    h.store->setSaveWorks(true);
    h.runtime->recover([](AuthSessionResult) {});
    h.transport->finishRefresh(testSession("user-1", "b"));
    EXPECT_FALSE(h.runtime->sessionNotStored());
    EXPECT_TRUE(logs.contains("keychain", "로그인 값 저장됨 where=refresh — 앞의 실패가 풀림"));
}

// With a store queue, the keychain is written only there, in the order asked: the main executor
// never waits for it, a failure is known once the queue has run, and a sign-out's clear comes
// after every save asked for before it, so no token is written back once cleared.
TEST(AuthRuntime, TheStoreIsWrittenOnItsQueueInTheOrderAsked) {
    LogCapture logs;
    Harness h;
    auto keychain = std::make_shared<ManualExecutor>(h.clock);
    h.runtime =
        AuthRuntime::make({h.transport, h.store, h.clock, h.clock, h.main, h.background, keychain});
    h.store->setSaveWorks(false);
    h.signIn(testSession("user-1", "a"));
    h.settle();
    EXPECT_TRUE(h.runtime->isLoggedIn());
    EXPECT_EQ(h.store->saves(), 0);
    EXPECT_FALSE(h.runtime->sessionNotStored());
    keychain->runAll();
    EXPECT_EQ(h.store->saves(), 1);
    EXPECT_TRUE(h.runtime->sessionNotStored());

    h.store->setSaveWorks(true);
    h.runtime->recover([](AuthSessionResult) {});
    h.transport->finishRefresh(testSession("user-1", "b"));
    std::optional<LogoutOutcome> outcome;
    h.runtime->signOut(nullptr, 0, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(h.store->clears(), 0);
    while (keychain->runAll() + h.main->runAll() + h.background->runAll() > 0) {
    }
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->storeCleared);
    EXPECT_EQ(h.store->saves(), 2);
    EXPECT_EQ(h.store->clears(), 1);
    EXPECT_FALSE(h.store->token().has_value());
    EXPECT_FALSE(h.runtime->sessionNotStored());
}

// A store queue held by a keyring that does not answer: the sign-out still ends at its deadline,
// signed out and saying that the store was not cleared; the clear runs once the queue moves.
TEST(AuthRuntime, ASignOutEndsAtTheStoreDeadlineWhenTheStoreDoesNotAnswer) {
    LogCapture logs;
    Harness h;
    auto keychain = std::make_shared<ManualExecutor>();  // runs only when the test says
    h.runtime =
        AuthRuntime::make({h.transport, h.store, h.clock, h.clock, h.main, h.background, keychain});
    h.runtime->setOnStateChange([&](AuthState s) { h.states.push_back(s); });
    h.signIn(testSession("user-1", "a"));
    keychain->runAll();
    std::optional<LogoutOutcome> outcome;
    h.runtime->signOut(nullptr, 0, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    EXPECT_FALSE(h.runtime->isLoggedIn());
    h.advance(1.9);
    EXPECT_FALSE(outcome.has_value());
    h.advance(0.1);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->storeCleared);
    EXPECT_EQ(outcome->remoteRevoked, true);
    EXPECT_EQ(h.runtime->state(), AuthState::loggedOut);
    EXPECT_EQ(h.states.back(), AuthState::loggedOut);
    EXPECT_TRUE(logs.contains("auth", "store_cleared=false"));

    keychain->runAll();
    EXPECT_EQ(h.store->clears(), 1);
    EXPECT_FALSE(h.store->token().has_value());
}

TEST(AuthRuntime, SignOutDrainsAwaitedOperations) {
    LogCapture logs;
    Harness h;
    AuthContext context = h.signIn(testSession("user-1"));
    ASSERT_TRUE(h.runtime->beginOperation(context, true));
    ASSERT_TRUE(h.runtime->beginOperation(context, false));  // not waited for
    int stops = 0;
    std::optional<LogoutOutcome> outcome;
    h.runtime->signOut(
        [&] {
            ++stops;
            EXPECT_FALSE(h.runtime->isLoggedIn());  // admission closes first
            return true;
        },
        5.0, [&](LogoutOutcome o) { outcome = o; });
    EXPECT_FALSE(h.runtime->isLoggedIn());
    h.settle();
    EXPECT_EQ(stops, 1);
    // Waiting is a timer: nothing blocks, and nothing finishes while the operation runs.
    h.advance(0.15);
    EXPECT_FALSE(outcome);
    h.runtime->endOperation(true);
    h.advance(0.05);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(*outcome, (LogoutOutcome{true, true, true, true, 2}));
    EXPECT_EQ(h.transport->signOutTokens(), std::vector<std::string>{"access-a"});
    EXPECT_EQ(h.states.back(), AuthState::loggedOut);
    EXPECT_EQ(h.loggedOut, 0);
    EXPECT_TRUE(logs.contains(
        "auth", "로그아웃 · work_stopped=true drained=true store_cleared=true generation=2"));
}

TEST(AuthRuntime, SignOutGivesUpAtTheDrainDeadline) {
    Harness h;
    h.signIn(testSession("user-1"));
    h.runtime->recover([](AuthSessionResult) {});  // stays outstanding
    h.store->setClearWorks(false);
    std::optional<LogoutOutcome> outcome;
    h.runtime->signOut(nullptr, 5.0, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    h.advance(4.9);
    EXPECT_FALSE(outcome);
    h.advance(0.2);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->operationsDrained);
    EXPECT_FALSE(outcome->storeCleared);
    EXPECT_TRUE(outcome->workStopped);

    // Without a session: nothing to revoke, the generation still grows.
    std::optional<LogoutOutcome> again;
    h.runtime->signOut([] { return false; }, [&](LogoutOutcome o) { again = o; });
    h.settle();
    h.advance(5.1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->remoteRevoked, std::nullopt);
    EXPECT_FALSE(again->workStopped);
    EXPECT_EQ(again->accountGeneration, 3);
}

}  // namespace
}  // namespace parlendo
