#include "AuthStubFixture.h"

#include "auth/AuthCode.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace parlendo {
namespace {

using testing::StubAnswer;

// A loopback port that nothing listens on: bound once, then let go.
int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

class CurlAuthExchangeTest : public testing::AuthStubFixture {
  protected:
    // Starts an operation, waits until the stub holds its request, and hands back the future of
    // its outcome.
    template <class T, class Start>
    std::future<T> startHanging(Start&& start) {
        auto promise = std::make_shared<std::promise<T>>();
        auto future = promise->get_future();
        start(Completion<void(T)>([promise](T value) { promise->set_value(std::move(value)); }));
        EXPECT_TRUE(stub.waitForRequests(stub.requestCount() + 1, 10));
        return future;
    }

    template <class T>
    static bool ready(std::future<T>& future, double seconds) {
        return future.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
    }
};

TEST_F(CurlAuthExchangeTest, RateLimitReachesTheGateBeforeTheCaller) {
    stub.on("POST", "/auth/v1/token",
            StubAnswer::json(429, R"({"error_code":"over_request_rate_limit"})",
                             {{"Retry-After", "30"}}));
    auto t = transport();

    std::optional<double> seenByCaller;
    auto outcome = await<AuthSessionResult>([&](auto done) {
        t->signIn("a@b.c", "pw", [&, done = std::move(done)](AuthSessionResult result) mutable {
            seenByCaller = gate->authRetryAfter();
            done(std::move(result));
        });
    });

    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->value.error(), AuthFailure::rejected("over_request_rate_limit"));
    EXPECT_EQ(seenByCaller, 30.0);
    EXPECT_TRUE(log.contains("server_gate", "reason=auth_rate_limited http_status=429"));
}

TEST_F(CurlAuthExchangeTest, AccountAndLogoutAnswersAreOfferedToTheGateToo) {
    stub.on(
        "POST", "/auth/v1/recover",
        StubAnswer::json(429, R"({"msg":"email rate limit exceeded"})", {{"Retry-After", "5"}}));
    stub.on("POST", "/auth/v1/logout", StubAnswer::json(429, "", {{"Retry-After", "7"}}));
    auto t = transport();

    auto recovered = await<VoidResult>(
        [&](auto done) { t->recover("a@b.c", "parlendo://auth-callback", std::move(done)); });
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->value.error(),
              AccountError("요청이 너무 잦아요. 잠시 뒤 다시 해주세요.", "REQUEST_FAILED"));
    EXPECT_EQ(gate->authRetryAfter(), 5.0);

    auto signedOut = await<bool>([&](auto done) { t->signOut("access", std::move(done)); });
    ASSERT_TRUE(signedOut);
    EXPECT_FALSE(signedOut->value);
    EXPECT_EQ(gate->authRetryAfter(), 7.0);
}

TEST_F(CurlAuthExchangeTest, WithoutAGateNothingIsReported) {
    stub.on("POST", "/auth/v1/token", StubAnswer::json(429, "{}", {{"Retry-After", "30"}}));
    auto t = std::make_shared<CurlAuthTransport>(CurlAuthTransport::Services{
        stub.baseURL(), anonKey, session, nullptr, main, watchdog, clock, clientInfo});

    auto outcome = await<AuthSessionResult>([&](auto done) { t->refresh("rt", std::move(done)); });

    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->value.error(), AuthFailure::rateLimited());
    EXPECT_EQ(gate->authRetryAfter(), std::nullopt);
}

TEST_F(CurlAuthExchangeTest, WatchdogCutsOffAHungTokenRequest) {
    stub.on("POST", "/auth/v1/token", StubAnswer::hanging());
    auto t = transport();

    auto future = startHanging<AuthSessionResult>(
        [&](auto done) { t->signIn("a@b.c", "pw", std::move(done)); });

    clock->advance(CurlAuthTransport::requestTimeout + CurlAuthExchange::watchdogGrace - 0.1);
    EXPECT_FALSE(ready(future, 0.3));
    EXPECT_FALSE(log.contains("account", "auth request deadline"));

    clock->advance(0.1);
    ASSERT_TRUE(ready(future, 5)) << "well before curl's own time-out";
    EXPECT_EQ(future.get().error(), AuthFailure::network());
    EXPECT_EQ(log.messages("account"),
              std::vector<std::string>{"auth request deadline — 끊음 path=/auth/v1/token"});
}

TEST_F(CurlAuthExchangeTest, LogoutWatchdogFiresAfterEightSeconds) {
    stub.on("POST", "/auth/v1/logout", StubAnswer::hanging());
    auto t = transport();

    auto future = startHanging<bool>([&](auto done) { t->signOut("access", std::move(done)); });

    clock->advance(7.9);
    EXPECT_FALSE(ready(future, 0.3));
    clock->advance(0.1);
    ASSERT_TRUE(ready(future, 5));
    EXPECT_FALSE(future.get());
    EXPECT_TRUE(log.contains("account", "auth request deadline — 끊음 path=/auth/v1/logout"));
}

TEST_F(CurlAuthExchangeTest, WatchdogOfAFinishedRequestStaysQuiet) {
    stub.on("GET", "/auth/v1/user", StubAnswer::json(200, "{}"));
    auto t = transport();

    auto outcome = await<std::optional<std::string>>(
        [&](auto done) { t->signupUsername("access", std::move(done)); });
    ASSERT_TRUE(outcome);
    clock->advance(60);

    EXPECT_TRUE(log.messages("account").empty());
}

TEST_F(CurlAuthExchangeTest, ADroppedConnectionIsATransportFailure) {
    stub.on("POST", "/auth/v1/token", StubAnswer::dropped());
    stub.on("PUT", "/auth/v1/user", StubAnswer::dropped());
    auto t = transport();

    auto refreshed =
        await<AuthSessionResult>([&](auto done) { t->refresh("rt", std::move(done)); });
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(refreshed->value.error(), AuthFailure::network());

    auto updated =
        await<VoidResult>([&](auto done) { t->updatePassword("pw", "access", std::move(done)); });
    ASSERT_TRUE(updated);
    EXPECT_TRUE(updated->onMain);
    EXPECT_EQ(updated->value.error().code, AuthCode::networkUnavailable);
    EXPECT_EQ(updated->value.error().message, *AuthCode::text(AuthCode::networkUnavailable));
}

TEST_F(CurlAuthExchangeTest, NothingListeningFailsEveryKindOfOperation) {
    auto t = transport("https://127.0.0.1:" + std::to_string(closedPort()));

    auto signedIn =
        await<AuthSessionResult>([&](auto done) { t->signIn("a@b.c", "pw", std::move(done)); });
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->value.error(), AuthFailure::network());
    auto signedOut = await<bool>([&](auto done) { t->signOut("access", std::move(done)); });
    ASSERT_TRUE(signedOut);
    EXPECT_FALSE(signedOut->value);
    auto recovered =
        await<VoidResult>([&](auto done) { t->recover("a@b.c", "x", std::move(done)); });
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->value.error().code, AuthCode::networkUnavailable);
}

TEST_F(CurlAuthExchangeTest, AnUnbuildableAddressFailsAtOnceWithoutSending) {
    auto t = transport("not a url");
    std::vector<std::string> seen;

    t->signIn("a@b.c", "pw", [&](AuthSessionResult r) { seen.push_back(logReason(r.error())); });
    t->resendConfirmation(
        "a@b.c", [&](Result<void, AuthFailure> r) { seen.push_back(logReason(r.error())); });
    t->signupUsername(
        "access", [&](std::optional<std::string> name) { seen.push_back(name.value_or("none")); });
    t->recover("a@b.c", "x", [&](VoidResult r) { seen.push_back(r.error().message); });
    t->updatePassword("pw", "access", [&](VoidResult r) { seen.push_back(r.error().code); });
    t->signOut("access", [&](bool revoked) { seen.push_back(revoked ? "true" : "false"); });

    EXPECT_EQ(seen, (std::vector<std::string>{"bad_response", "bad_response", "none", "잘못된 주소",
                                              "REQUEST_FAILED", "false"}));
    EXPECT_EQ(stub.requestCount(), 0u);
}

TEST_F(CurlAuthExchangeTest, WhatCannotBeSentSafelyIsNeverSent) {
    auto t = transport();
    // A token that came from an answer and holds a line break would add a header of its own.
    auto revoked =
        await<bool>([&](auto done) { t->signOut("access\r\nX-Injected: 1", std::move(done)); });
    ASSERT_TRUE(revoked);
    EXPECT_FALSE(revoked->value);
    EXPECT_TRUE(log.contains("account", "auth request refused — 헤더에 줄바꿈이나 NUL이 있음"));

    // Text that is not UTF-8 makes no JSON body; the request does not go without one.
    auto signedIn = await<AuthSessionResult>(
        [&](auto done) { t->signIn("a@b.c", "pass\xff", std::move(done)); });
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->value.error(), AuthFailure::badResponse());
    auto changed = await<VoidResult>(
        [&](auto done) { t->updatePassword("pass\xff", "access", std::move(done)); });
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->value.error(),
              AccountError("보낼 수 없는 글자가 들어 있음", "REQUEST_FAILED"));
    EXPECT_EQ(log.count("account", "본문을 JSON으로 만들 수 없음"), 2u);
    EXPECT_EQ(stub.requestCount(), 0u);
}

TEST_F(CurlAuthExchangeTest, AnswersPastTheLimitFailLikeALostConnection) {
    stub.on("POST", "/auth/v1/token", StubAnswer::generated(size_t{4} << 30, false));
    auto t = transport();
    auto signedIn =
        await<AuthSessionResult>([&](auto done) { t->signIn("a@b.c", "pw", std::move(done)); });
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->value.error(), AuthFailure::network());
    EXPECT_LT(stub.generatedBytesSent(), size_t{512} << 20);
    EXPECT_TRUE(log.contains("account", "auth answer too large — 끊음 path=/auth/v1/token"));
}

}  // namespace
}  // namespace parlendo
