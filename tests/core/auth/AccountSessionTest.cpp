#include <gtest/gtest.h>

#include "FakeAccountEndpoints.h"
#include "FakeAuthTransport.h"
#include "FakeSessionStore.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "auth/AccountSession.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

struct Harness {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> background = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakeAuthTransport> transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<FakeSessionStore> store = std::make_shared<FakeSessionStore>();
    std::shared_ptr<FakeAccountEndpoints> endpoints = std::make_shared<FakeAccountEndpoints>();
    std::shared_ptr<AuthRuntime> auth;
    std::shared_ptr<AccountSession> session;
    std::vector<std::string> events;

    Harness() {
        auth = AuthRuntime::make({transport, store, clock, clock, main, background});
        session = AccountSession::make({auth, endpoints, store, main, background, clock});
        session->setOnAccepted(
            [this](const std::string& id) { events.push_back("accepted " + id); });
        session->setOnRefused([this] { events.push_back("refused"); });
        session->setOnSessionLost([this] { events.push_back("lost"); });
        session->setOnSignedOut([this] { events.push_back("signed_out"); });
        session->setOnSignedOutOf(
            [this](const std::string& id) { events.push_back("signed_out_of " + id); });
        session->setOnAuthChange([this] { events.push_back("auth_change"); });
    }

    void settle() {
        while (main->runAll() + background->runAll() > 0) {
        }
    }

    std::string signIn(const AuthSession& s) {
        transport->answerSignIn(s);
        std::optional<std::string> id;
        session->signIn(s.email.value_or(""), "pw",
                        [&](Result<std::string, AccountError> r) { id = *r; });
        settle();
        transport->answerSignIn(std::nullopt);
        return *id;
    }

    RestoreOutcome restore() {
        std::optional<RestoreOutcome> outcome;
        session->restoreState([&](RestoreOutcome o) { outcome = o; });
        settle();
        return *outcome;
    }
};

TEST(AccountSession, RestoreIsSharedAndEndsInOneOfFourOutcomes) {
    LogCapture logs;
    Harness h;
    // Nothing stored.
    EXPECT_EQ(h.restore(), RestoreOutcome::needLogin);
    EXPECT_EQ(logs.messages("auth"), std::vector<std::string>{"저장된 세션 없음"});
    EXPECT_TRUE(h.transport->refreshTokens().empty());

    // Two callers, one set of attempts.
    h.store->setToken("refresh-a");
    std::vector<RestoreOutcome> outcomes;
    h.session->restoreState([&](RestoreOutcome o) { outcomes.push_back(o); });
    h.session->restoreState([&](RestoreOutcome o) { outcomes.push_back(o); });
    h.settle();
    ASSERT_EQ(h.transport->pendingRefreshes(), 1u);
    h.transport->finishRefresh(testSession("user-1"));
    h.settle();
    EXPECT_EQ(outcomes,
              (std::vector<RestoreOutcome>{RestoreOutcome::ready, RestoreOutcome::ready}));
    EXPECT_TRUE(h.session->keeperRunning());
    EXPECT_TRUE(logs.contains("account", "restore ok attempt=1"));
    EXPECT_NE(std::find(h.events.begin(), h.events.end(), "accepted user-1"), h.events.end());

    // Already signed in: no store read and no log line.
    int loads = h.store->loads();
    auto before = logs.all();
    EXPECT_EQ(h.restore(), RestoreOutcome::ready);
    EXPECT_EQ(h.store->loads(), loads);
    EXPECT_EQ(logs.all(), before);
}

TEST(AccountSession, RestoreRetriesThreeTimesThenStaysOffline) {
    LogCapture logs;
    Harness h;
    h.store->setToken("refresh-a");
    h.transport->answerRefresh(fail(AuthFailure::network()));
    std::optional<RestoreOutcome> outcome;
    h.session->restoreState([&](RestoreOutcome o) { outcome = o; });
    h.settle();
    // Pauses of 0.3 s and 0.6 s between the attempts, as timers.
    EXPECT_EQ(h.transport->refreshTokens().size(), 1u);
    h.clock->advance(0.2);
    EXPECT_EQ(h.transport->refreshTokens().size(), 1u);
    h.clock->advance(0.2);
    EXPECT_EQ(h.transport->refreshTokens().size(), 2u);
    h.clock->advance(0.4);
    EXPECT_EQ(h.transport->refreshTokens().size(), 2u);
    EXPECT_FALSE(outcome);
    h.clock->advance(0.2);
    EXPECT_EQ(h.transport->refreshTokens().size(), 3u);
    EXPECT_EQ(outcome, RestoreOutcome::offline);
    auto lines = logs.messages("account");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "restore unreachable attempt=1/3 reason=network — 저장된 로그인 유지");
    EXPECT_NE(lines[2].find("attempt=3/3"), std::string::npos);
    EXPECT_EQ(h.store->token(), "refresh-a");

    // A dead token ends at once in reauthRequired.
    h.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    EXPECT_EQ(h.restore(), RestoreOutcome::reauthRequired);
    EXPECT_EQ(h.transport->refreshTokens().size(), 4u);
    EXPECT_NE(std::find(h.events.begin(), h.events.end(), "refused"), h.events.end());
    EXPECT_EQ(h.store->token(), std::nullopt);
}

TEST(AccountSession, ARestoreOutlivingItsSessionStillClosesTheRuntimesBurst) {
    LogCapture logs;
    Harness h;
    h.store->setToken("refresh-a");
    std::optional<RestoreOutcome> outcome;
    h.session->restoreState([&](RestoreOutcome o) { outcome = o; });
    h.settle();
    ASSERT_EQ(h.transport->pendingRefreshes(), 1u);
    h.session.reset();
    h.transport->finishRefresh(fail(AuthFailure::server(500)));
    h.settle();
    EXPECT_EQ(outcome, RestoreOutcome::needLogin);

    // Outside a burst every failure steps the backoff again.
    h.clock->advance(60);
    h.auth->restore([](AuthRuntime::ContextResult) {});
    h.settle();
    ASSERT_EQ(h.transport->pendingRefreshes(), 1u);
    h.transport->finishRefresh(fail(AuthFailure::server(500)));
    h.settle();
    auto lines = logs.messages("auth");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("step=2"), std::string::npos) << lines.back();
}

TEST(AccountSession, KeeperRefreshesNearExpiryEveryMinute) {
    Harness h;
    h.signIn(testSession("user-1", "a", h.clock->now() + 400));
    h.clock->advance(60);
    EXPECT_EQ(h.transport->pendingRefreshes(), 0u);  // 340 s left
    h.clock->advance(60);
    EXPECT_EQ(h.transport->pendingRefreshes(), 1u);  // 280 s left
    h.transport->finishRefresh(testSession("user-1", "b", h.clock->now() + 3600));

    std::optional<LogoutOutcome> outcome;
    h.session->signOut(nullptr, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    EXPECT_FALSE(h.session->keeperRunning());
    h.signIn(testSession("user-1", "c", h.clock->now() + 100));  // a new keeper, a new minute
    size_t sent = h.transport->refreshTokens().size();
    h.clock->advance(59);
    EXPECT_EQ(h.transport->refreshTokens().size(), sent);
    h.clock->advance(1);
    EXPECT_EQ(h.transport->refreshTokens().size(), sent + 1);
}

TEST(AccountSession, SignOutWaitsForPendingSaves) {
    LogCapture logs;
    Harness h;
    h.signIn(testSession("user-1"));
    const double start = h.clock->elapsed();
    int stops = 0;
    h.session->setPendingWork([&] { return h.clock->elapsed() - start > 0.2 - 1e-6 ? 0 : 2; });
    std::optional<LogoutOutcome> outcome;
    h.session->signOut(
        [&] {
            ++stops;
            return true;
        },
        [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    EXPECT_FALSE(outcome);
    h.clock->advance(0.25);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(stops, 2);  // once before the wait, once by the runtime
    EXPECT_TRUE(logs.contains("auth", "로그아웃 — 기다리던 저장 2건 · 남은 것 0건 · 0.20초"));
    EXPECT_TRUE(outcome->workStopped);
    // Told which account ended, once the saves had their time: its journal goes then.
    ASSERT_GE(h.events.size(), 2u);
    EXPECT_EQ(h.events[h.events.size() - 2], "signed_out_of user-1");
    EXPECT_EQ(h.events.back(), "signed_out");
    EXPECT_FALSE(h.session->isLoggedIn());

    // Saves that never finish: 101 pauses, 5.05 seconds, and the sign-out goes on.
    h.signIn(testSession("user-1"));
    h.session->setPendingWork([] { return 1; });
    outcome.reset();
    h.session->signOut(nullptr, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    h.clock->advance(5.0);
    EXPECT_FALSE(outcome);
    h.clock->advance(0.1);
    EXPECT_TRUE(logs.contains("auth", "로그아웃 — 기다리던 저장 1건 · 남은 것 1건 · 5.05초"));
    EXPECT_TRUE(outcome.has_value());
}

TEST(AccountSession, ASignOutOutlivingItsSessionStillSignsOutAndAnswers) {
    LogCapture logs;
    Harness h;
    h.signIn(testSession("user-1"));
    h.session->setPendingWork([] { return 1; });
    std::optional<LogoutOutcome> outcome;
    h.session->signOut(nullptr, [&](LogoutOutcome o) { outcome = o; });
    h.settle();
    // The session object is released while the sign-out waits for the saves.
    h.session.reset();
    h.clock->advance(0.05);
    h.settle();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->storeCleared);
    EXPECT_FALSE(h.auth->isLoggedIn());
    EXPECT_EQ(h.auth->state(), AuthState::loggedOut);
    EXPECT_EQ(h.store->token(), std::nullopt);
    EXPECT_EQ(h.events.back(), "signed_out");
    EXPECT_EQ(h.transport->signOutTokens(), std::vector<std::string>{"access-a"});

    // Released right after the call, with nothing pending.
    h.session = AccountSession::make({h.auth, h.endpoints, h.store, h.main, h.background, h.clock});
    h.session->setOnSignedOut([&] { h.events.push_back("signed_out again"); });
    h.signIn(testSession("user-2", "b"));
    outcome.reset();
    h.session->signOut(nullptr, [&](LogoutOutcome o) { outcome = o; });
    h.session.reset();
    h.settle();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(h.auth->isLoggedIn());
    EXPECT_EQ(h.events.back(), "signed_out again");
}

TEST(AccountSession, SignInAndSignUpFailuresBecomeAccountErrors) {
    LogCapture logs;
    Harness h;
    h.transport->answerSignIn(fail(AuthFailure::rejected("invalid_credentials")));
    std::optional<Result<std::string, AccountError>> signedIn;
    h.session->signIn("a@b.c", "pw", [&](auto r) { signedIn = r; });
    h.settle();
    EXPECT_EQ(signedIn->error().code, "AUTH_LOGIN_FAILED");
    EXPECT_EQ(h.events, std::vector<std::string>{"refused"});
    EXPECT_TRUE(logs.contains(
        "account", "sign_in failed code=AUTH_LOGIN_FAILED reason=rejected:invalid_credentials"));

    // Spaces-only username: nothing staged; the account waits for its mail.
    std::optional<Result<SignUpOutcome, AccountError>> signedUp;
    h.session->signUp("a@b.c", "pw", "  ", [&](auto r) { signedUp = r; });
    h.settle();
    EXPECT_EQ(**signedUp, SignUpOutcome::needsEmailConfirmation());
    EXPECT_EQ(h.endpoints->staged,
              (std::vector<std::optional<std::string>>{std::nullopt, std::nullopt}));
    EXPECT_TRUE(logs.contains("account", "이름 실음=false"));

    h.transport->answerSignUp(fail(AuthFailure::rejected("weak_password")));
    h.session->signUp("a@b.c", "pw", " 민지\n", [&](auto r) { signedUp = r; });
    h.settle();
    EXPECT_EQ(signedUp->error().code, "AUTH_SIGNUP_WEAK_PASSWORD");
    EXPECT_EQ(h.endpoints->staged[2], "민지");
    EXPECT_EQ(h.endpoints->staged[3], std::nullopt);

    std::optional<VoidResult> resent;
    h.session->resendConfirmation(" \n", [&](VoidResult r) { resent = r; });
    EXPECT_EQ(resent->error().code, "AUTH_SIGNUP_EMAIL_INVALID");
    EXPECT_TRUE(h.endpoints->resends.empty());
}

TEST(AccountSession, RecoveryLinks) {
    LogCapture logs;
    Harness h;
    // While restore ends offline the link is held back without an exchange.
    h.store->setToken("refresh-old");
    h.transport->answerRefresh(fail(AuthFailure::network()));
    std::optional<Result<RecoveryCandidate, AuthFailure>> inspected;
    h.session->inspectRecovery("refresh-link", [&](auto r) { inspected = r; });
    h.settle();
    h.clock->advance(1);
    EXPECT_EQ(inspected->error(), AuthFailure::network());
    EXPECT_TRUE(h.endpoints->exchanges.empty());
    h.transport->answerRefresh(std::nullopt);

    // Another account is signed in: the candidate says so, and adopting signs it out first.
    h.signIn(testSession("user-1", "a"));
    h.endpoints->exchangeAnswer = testSession("user-2", "link");
    h.session->inspectRecovery("refresh-link", [&](auto r) { inspected = r; });
    h.settle();
    ASSERT_TRUE(inspected && *inspected);
    EXPECT_TRUE((*inspected)->replacesAccount);
    EXPECT_EQ((*inspected)->replacesEmail, "user-1@example.com");
    EXPECT_TRUE(
        logs.contains("account", "recovery_link verified same_account=false replaces=true"));

    std::optional<bool> adopted;
    h.session->adoptRecovery(**inspected, nullptr, [&](bool ok) { adopted = ok; });
    h.settle();
    EXPECT_EQ(h.transport->refreshTokens().back(), "refresh-link");
    h.transport->finishRefresh(testSession("user-2", "link2"));
    h.settle();
    EXPECT_EQ(adopted, true);
    EXPECT_EQ(h.session->userID(), "user-2");
    EXPECT_NE(std::find(h.events.begin(), h.events.end(), "signed_out"), h.events.end());

    // A failed adoption puts the previous token back.
    h.endpoints->exchangeAnswer = testSession("user-2", "link3");
    h.session->inspectRecovery("x", [&](auto r) { inspected = r; });
    h.settle();
    EXPECT_TRUE(logs.contains("account", "same_account=true replaces=false"));
    h.store->setToken("refresh-kept");
    h.session->adoptRecovery(**inspected, nullptr, [&](bool ok) { adopted = ok; });
    h.settle();
    h.transport->finishRefresh(fail(AuthFailure::server(500)));
    h.settle();
    EXPECT_EQ(adopted, false);
    EXPECT_EQ(h.store->token(), "refresh-kept");
}

// The fake store behind the program's keychain queue, as a keyring that may answer late: counts
// the calls made anywhere but on that queue, and runs `during` in the middle of each write.
class QueuedKeyring final : public SessionStore {
  public:
    QueuedKeyring(std::shared_ptr<FakeSessionStore> store, std::shared_ptr<ManualExecutor> queue)
        : store_(std::move(store)), queue_(std::move(queue)) {}

    std::optional<std::string> loadRefreshToken() override {
        note();
        return store_->loadRefreshToken();
    }
    bool save(const std::string& refreshToken) override {
        note();
        if (during) {
            during();
        }
        return store_->save(refreshToken);
    }
    bool clear() override {
        note();
        return store_->clear();
    }

    std::function<void()> during;
    int offQueue = 0;

  private:
    void note() { offQueue += queue_->runningTask() ? 0 : 1; }

    std::shared_ptr<FakeSessionStore> store_;
    std::shared_ptr<ManualExecutor> queue_;
};

// Adopting a recovery link with the store behind its own queue, wired as the program does: the
// store is asked only there, so a keyring that does not answer holds the queue and never the main
// executor; the adoption ends failed at the store's deadline with nothing switched.
TEST(AccountSession, RecoveryAdoptionNeverWaitsForTheKeyring) {
    LogCapture logs;
    Harness h;
    auto keychain = std::make_shared<ManualExecutor>();  // runs only when the test says
    auto keyring = std::make_shared<QueuedKeyring>(h.store, keychain);
    h.auth =
        AuthRuntime::make({h.transport, keyring, h.clock, h.clock, h.main, h.background, keychain});
    h.session = AccountSession::make({h.auth, h.endpoints, keyring, h.main, keychain, h.clock});
    auto turn = [&] {
        while (keychain->runAll() + h.main->runAll() + h.background->runAll() > 0) {
        }
    };
    std::optional<Result<RecoveryCandidate, AuthFailure>> inspected;
    std::optional<bool> adopted;

    // Another account is signed in and the keyring is silent: its sign-out's clear and then the
    // link's write are each given up on at the deadline; the link is never restored.
    h.signIn(testSession("user-1", "a"));
    h.endpoints->exchangeAnswer = testSession("user-2", "link");
    h.session->inspectRecovery("refresh-link", [&](auto r) { inspected = r; });
    h.settle();
    ASSERT_TRUE(inspected && *inspected);
    h.session->adoptRecovery(**inspected, nullptr, [&](bool ok) { adopted = ok; });
    h.settle();
    h.clock->advance(2 + 1.9);  // the sign-out's clear given up on, the write not yet
    EXPECT_FALSE(adopted.has_value());
    h.clock->advance(0.1);
    EXPECT_EQ(adopted, false);
    EXPECT_EQ(keyring->offQueue, 0);
    EXPECT_FALSE(h.auth->isLoggedIn());
    EXPECT_TRUE(h.transport->refreshTokens().empty());
    EXPECT_TRUE(logs.contains(
        "account", "recovery_link token not stored attempt=1 — 키체인이 제때 답하지 않아"));
    // When the keyring moves again, the write given up on is not made.
    turn();
    EXPECT_EQ(h.store->token(), std::nullopt);
    EXPECT_TRUE(logs.contains("account", "recovery_link late write skipped"));

    // A write that ends after the deadline is undone in the same keychain step.
    h.endpoints->exchangeAnswer = testSession("user-3", "link3");
    h.session->inspectRecovery("refresh-link3", [&](auto r) { inspected = r; });
    turn();
    ASSERT_TRUE(inspected && *inspected);
    h.store->setToken("refresh-kept");
    adopted.reset();
    h.session->adoptRecovery(**inspected, nullptr, [&](bool ok) { adopted = ok; });
    keyring->during = [&] {
        h.clock->advance(2);
    };
    turn();
    keyring->during = nullptr;
    EXPECT_EQ(adopted, false);
    EXPECT_EQ(h.store->token(), "refresh-kept");
    EXPECT_TRUE(logs.contains("account", "recovery_link late write undone put_back=true"));
    EXPECT_TRUE(h.transport->refreshTokens().empty());

    // The write is made, the restore fails, and the keyring falls silent before the previous
    // login is put back: the adoption still ends at the deadline, and the login comes back once
    // the keyring answers.
    adopted.reset();
    h.session->adoptRecovery(**inspected, nullptr, [&](bool ok) { adopted = ok; });
    turn();
    EXPECT_EQ(h.store->token(), "refresh-link3");
    ASSERT_TRUE(h.transport->finishRefresh(fail(AuthFailure::server(500))));
    h.settle();
    EXPECT_FALSE(adopted.has_value());
    h.clock->advance(2);
    EXPECT_EQ(adopted, false);
    EXPECT_TRUE(logs.contains("account", "recovery_link put_back=false"));
    turn();
    EXPECT_EQ(h.store->token(), "refresh-kept");
    EXPECT_EQ(keyring->offQueue, 0);
}

TEST(AccountSession, PasswordChangeDropsALateAnswer) {
    LogCapture logs;
    Harness h;
    std::optional<VoidResult> result;
    h.session->updatePassword("new", [&](VoidResult r) { result = r; });
    EXPECT_EQ(result->error().code, "AUTH_REAUTH_REQUIRED");

    h.signIn(testSession("user-1"));
    h.session->updatePassword("new", [&](VoidResult r) { result = r; });
    EXPECT_TRUE(result->has_value());
    EXPECT_EQ(h.endpoints->passwords.back(), "new|access-a");
    EXPECT_EQ(h.auth->inFlightOperations(), 0);

    // The account changes while the request is out.
    h.endpoints->duringUpdate = [&] {
        EXPECT_EQ(h.auth->inFlightOperations(), 1);
        h.transport->answerSignIn(testSession("user-2", "b"));
        h.auth->signIn("x", "y", [](AuthRuntime::ContextResult) {});
    };
    h.session->updatePassword("new", [&](VoidResult r) { result = r; });
    EXPECT_EQ(result->error(), AccountSession::staleContext());
    EXPECT_TRUE(logs.contains("auth", "늦은 응답 버림 path=/auth/v1/user"));
    EXPECT_EQ(h.auth->inFlightOperations(), 0);

    // Failures are logged through the error's description, never its message.
    h.endpoints->duringUpdate = nullptr;
    h.endpoints->updateAnswer = fail(AccountError("서버 오류 (500)", "REQUEST_FAILED"));
    h.session->updatePassword("new", [&](VoidResult r) { result = r; });
    EXPECT_EQ(logs.messages("password").back(), "변경 실패 AccountError#REQUEST_FAILED");
    h.endpoints->recoverAnswer = fail(AccountError(std::nullopt, "AUTH_NETWORK_UNAVAILABLE"));
    h.session->sendPasswordReset(" a@b.c ", [&](VoidResult r) { result = r; });
    EXPECT_EQ(result->error().code, "AUTH_NETWORK_UNAVAILABLE");
    EXPECT_EQ(logs.messages("recover").back(), "실패 AccountError#AUTH_NETWORK_UNAVAILABLE");
}

TEST(AccountSession, ReasonTexts) {
    EXPECT_EQ(AccountSession::reason(AuthFailure::rejected("Invalid-Grant")), "rejected:other");
    EXPECT_EQ(AccountSession::reason(AuthFailure::rejected("invalid_grant")),
              "rejected:invalid_grant");
    EXPECT_EQ(AccountSession::reason(AuthFailure::rejected(std::string(41, 'a'))),
              "rejected:other");
    EXPECT_EQ(AccountSession::reason(AuthFailure::server(503)), "server_503");
    EXPECT_EQ(AccountSession::reason(AuthFailure::confirmedInvalid()), "confirmed_invalid");
}

}  // namespace
}  // namespace parlendo
