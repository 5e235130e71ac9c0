#include "AuthStubFixture.h"

namespace parlendo {
namespace {

using testing::StubAnswer;

constexpr const char* sessionBody =
    R"({"access_token":"at-1","refresh_token":"rt-1","expires_in":600,)"
    R"("user":{"id":"user-1","email":"a@b.c"}})";

class CurlAuthTransportTest : public testing::AuthStubFixture {
  protected:
    // The headers every request carries, with the bearer expected for it.
    void expectCommonHeaders(const testing::StubRequest& request, const std::string& bearer) {
        EXPECT_EQ(request.header("apikey"), anonKey);
        EXPECT_EQ(request.header("Authorization"), "Bearer " + bearer);
        EXPECT_EQ(request.header("X-Client-Info"), clientInfo);
    }
};

TEST_F(CurlAuthTransportTest, SignInSendsTrimmedEmailAndParsesTheSession) {
    stub.on("POST", "/auth/v1/token", StubAnswer::json(200, sessionBody));
    auto t = transport();

    auto outcome = await<AuthSessionResult>(
        [&](auto done) { t->signIn(" \ta@b.c \t", " pass word ", std::move(done)); });

    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->onMain);
    ASSERT_TRUE(outcome->value) << logReason(outcome->value.error());
    EXPECT_EQ(*outcome->value,
              (AuthSession{"at-1", "rt-1", "user-1", "a@b.c", clock->now() + 600}));
    auto request = stub.lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, "grant_type=password");
    expectCommonHeaders(request, anonKey);
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(lastBody(), (Json{{"email", "a@b.c"}, {"password", " pass word "}}));
}

TEST_F(CurlAuthTransportTest, SignInKeepsLineBreaksAndMapsARefusal) {
    stub.on("POST", "/auth/v1/token",
            StubAnswer::json(400, R"({"error_code":"invalid_credentials","msg":"nope"})"));
    auto t = transport();

    auto outcome =
        await<AuthSessionResult>([&](auto done) { t->signIn("a@b.c\n", "pw", std::move(done)); });

    ASSERT_TRUE(outcome);
    ASSERT_FALSE(outcome->value);
    EXPECT_EQ(outcome->value.error(), AuthFailure::rejected("invalid_credentials"));
    EXPECT_EQ(lastBody()["email"], "a@b.c\n");
}

TEST_F(CurlAuthTransportTest, StagedUsernameTravelsWithOneSignUpOnly) {
    stub.on("POST", "/auth/v1/signup",
            StubAnswer::json(200, R"({"id":"user-2","identities":[{"id":"x"}]})"));
    auto t = transport();
    using SignUp = Result<std::optional<AuthSession>, AuthFailure>;

    t->stageSignUp("민수");
    auto first =
        await<SignUp>([&](auto done) { t->signUp(" new@b.c ", "secret", std::move(done)); });
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->value);
    EXPECT_FALSE(first->value->has_value()) << "awaits mail confirmation";
    EXPECT_TRUE(first->onMain);
    EXPECT_EQ(
        lastBody(),
        (Json{{"email", "new@b.c"}, {"password", "secret"}, {"data", {{"username", "민수"}}}}));
    expectCommonHeaders(stub.lastRequest(), anonKey);

    auto second =
        await<SignUp>([&](auto done) { t->signUp("new@b.c", "secret", std::move(done)); });
    ASSERT_TRUE(second);
    EXPECT_FALSE(lastBody().contains("data"));

    t->stageSignUp("민수");
    t->stageSignUp(std::nullopt);
    auto third = await<SignUp>([&](auto done) { t->signUp("new@b.c", "secret", std::move(done)); });
    ASSERT_TRUE(third);
    EXPECT_FALSE(lastBody().contains("data"));
}

TEST_F(CurlAuthTransportTest, SignUpWithASessionSignsIn) {
    stub.on("POST", "/auth/v1/signup", StubAnswer::json(200, sessionBody));
    auto t = transport();

    auto outcome = await<Result<std::optional<AuthSession>, AuthFailure>>(
        [&](auto done) { t->signUp("a@b.c", "secret", std::move(done)); });

    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->value);
    ASSERT_TRUE(outcome->value->has_value());
    EXPECT_EQ((*outcome->value)->userID, "user-1");
}

TEST_F(CurlAuthTransportTest, RefreshAndExchangeTellADeadTokenApart) {
    stub.on("POST", "/auth/v1/token",
            StubAnswer::json(400, R"({"error_code":"refresh_token_not_found"})"));
    auto t = transport();

    auto refreshed =
        await<AuthSessionResult>([&](auto done) { t->refresh("rt-old", std::move(done)); });
    ASSERT_TRUE(refreshed);
    EXPECT_TRUE(refreshed->onMain);
    EXPECT_EQ(refreshed->value.error(), AuthFailure::confirmedInvalid());
    EXPECT_EQ(stub.lastRequest().query, "grant_type=refresh_token");
    EXPECT_EQ(lastBody(), (Json{{"refresh_token", "rt-old"}}));
    expectCommonHeaders(stub.lastRequest(), anonKey);

    auto exchanged =
        await<AuthSessionResult>([&](auto done) { t->exchange("rt-link", std::move(done)); });
    ASSERT_TRUE(exchanged);
    EXPECT_EQ(exchanged->value.error(), AuthFailure::confirmedInvalid());
    EXPECT_EQ(lastBody(), (Json{{"refresh_token", "rt-link"}}));

    // Without refresh semantics the same answer is a plain refusal.
    auto signedIn =
        await<AuthSessionResult>([&](auto done) { t->signIn("a@b.c", "pw", std::move(done)); });
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->value.error(), AuthFailure::rejected("refresh_token_not_found"));
}

TEST_F(CurlAuthTransportTest, LogoutCarriesTheAccessTokenAndNoBody) {
    stub.on("POST", "/auth/v1/logout", StubAnswer::json(204, ""));
    stub.on("POST", "/auth/v1/logout", StubAnswer::json(401, R"({"msg":"bad jwt"})"));
    auto t = transport();

    auto outcome = await<bool>([&](auto done) { t->signOut("access-1", std::move(done)); });

    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->value);
    EXPECT_TRUE(outcome->onSession) << "the sign-out completes on the session thread";
    auto request = stub.lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, "scope=local");
    expectCommonHeaders(request, "access-1");
    EXPECT_EQ(request.header("Content-Type"), std::nullopt);
    EXPECT_EQ(request.body, "");

    auto refused = await<bool>([&](auto done) { t->signOut("access-1", std::move(done)); });
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->value);

    auto revoked = await<bool>([&](auto done) {
        t->revoke("access-2", [done = std::move(done)]() mutable { done(true); });
    });
    ASSERT_TRUE(revoked);
    EXPECT_EQ(stub.lastRequest().header("Authorization"), "Bearer access-2");
}

TEST_F(CurlAuthTransportTest, ResendSendsTheAddressAsTyped) {
    stub.on("POST", "/auth/v1/resend", StubAnswer::json(200, "{}"));
    auto t = transport();

    auto outcome = await<Result<void, AuthFailure>>(
        [&](auto done) { t->resendConfirmation(" a@b.c ", std::move(done)); });

    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->onMain);
    EXPECT_TRUE(outcome->value);
    EXPECT_EQ(lastBody(), (Json{{"type", "signup"}, {"email", " a@b.c "}}));
    expectCommonHeaders(stub.lastRequest(), anonKey);
}

TEST_F(CurlAuthTransportTest, SignupUsernameReadsTheMetadataOrGivesNone) {
    stub.on("GET", "/auth/v1/user",
            StubAnswer::json(200, R"({"id":"u","user_metadata":{"username":" 민수 "}})"));
    stub.on("GET", "/auth/v1/user", StubAnswer::json(200, R"({"id":"u","user_metadata":{}})"));
    stub.on("GET", "/auth/v1/user", StubAnswer::json(401, R"({"msg":"expired"})"));
    auto t = transport();
    using Name = std::optional<std::string>;

    auto named = await<Name>([&](auto done) { t->signupUsername("access-1", std::move(done)); });
    ASSERT_TRUE(named);
    EXPECT_EQ(named->value, "민수");
    EXPECT_TRUE(named->onMain);
    auto request = stub.lastRequest();
    EXPECT_EQ(request.method, "GET");
    expectCommonHeaders(request, "access-1");
    EXPECT_EQ(request.header("Content-Type"), std::nullopt);

    auto unnamed = await<Name>([&](auto done) { t->signupUsername("access-1", std::move(done)); });
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->value, std::nullopt);
    auto refused = await<Name>([&](auto done) { t->signupUsername("access-1", std::move(done)); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->value, std::nullopt);
}

TEST_F(CurlAuthTransportTest, RecoverEncodesTheRedirectAndSendsTheAddress) {
    stub.on("POST", "/auth/v1/recover", StubAnswer::json(200, "{}"));
    auto t = transport();

    auto outcome = await<VoidResult>(
        [&](auto done) { t->recover("a@b.c", "parlendo://auth-callback", std::move(done)); });

    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->onMain);
    EXPECT_TRUE(outcome->value);
    EXPECT_EQ(stub.lastRequest().query, "redirect_to=parlendo%3A%2F%2Fauth%2Dcallback");
    EXPECT_EQ(lastBody(), (Json{{"email", "a@b.c"}}));
    expectCommonHeaders(stub.lastRequest(), anonKey);
    EXPECT_EQ(CurlAuthTransport::encodeRedirect(""), "");
    EXPECT_EQ(CurlAuthTransport::encodeRedirect("a_b.~é"), "a%5Fb%2E%7E%C3%A9");
}

TEST_F(CurlAuthTransportTest, UpdatePasswordMapsErrorAnswersToAccountErrors) {
    stub.on("PUT", "/auth/v1/user", StubAnswer::json(200, R"({"id":"u"})"));
    stub.on("PUT", "/auth/v1/user", StubAnswer::json(500, R"({"msg":"database down"})"));
    stub.on("PUT", "/auth/v1/user", StubAnswer::json(500, ""));
    stub.on("PUT", "/auth/v1/user",
            StubAnswer::json(422, R"({"error_description":"Password should be at least 6 )"
                                  R"(characters","msg":"ignored"})"));
    stub.on("PUT", "/auth/v1/user", StubAnswer::json(400, "<html>bad gateway</html>"));
    auto t = transport();
    auto update = [&] {
        return await<VoidResult>(
            [&](auto done) { t->updatePassword("new-secret", "access-1", std::move(done)); });
    };

    auto ok = update();
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->value);
    EXPECT_TRUE(ok->onMain);
    EXPECT_EQ(stub.lastRequest().method, "PUT");
    expectCommonHeaders(stub.lastRequest(), "access-1");
    EXPECT_EQ(lastBody(), (Json{{"password", "new-secret"}}));

    auto withMessage = update();
    ASSERT_TRUE(withMessage);
    EXPECT_EQ(withMessage->value.error(), AccountError("database down", "REQUEST_FAILED"));
    auto empty = update();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->value.error(), AccountError("서버 오류 (500)", "REQUEST_FAILED"));
    auto weak = update();
    ASSERT_TRUE(weak);
    EXPECT_EQ(weak->value.error(),
              AccountError("비밀번호는 6자 이상이어야 해요.", "REQUEST_FAILED"));
    auto notJson = update();
    ASSERT_TRUE(notJson);
    EXPECT_EQ(notJson->value.error(), AccountError("서버 오류 (400)", "REQUEST_FAILED"));
}

TEST_F(CurlAuthTransportTest, AnswersThatAreNotJsonAreBadOrServerFailures) {
    stub.on("POST", "/auth/v1/token", StubAnswer::json(200, "not json"));
    stub.on("POST", "/auth/v1/token", StubAnswer::json(200, R"(["access_token"])"));
    stub.on("POST", "/auth/v1/token", StubAnswer::json(502, "<html>bad gateway</html>"));
    stub.on("GET", "/auth/v1/user", StubAnswer::json(200, "{\"user_metadata\":"));
    auto t = transport();
    auto refresh = [&] {
        return await<AuthSessionResult>([&](auto done) { t->refresh("rt", std::move(done)); });
    };

    auto garbage = refresh();
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->value.error(), AuthFailure::badResponse());
    auto array = refresh();
    ASSERT_TRUE(array);
    EXPECT_EQ(array->value.error(), AuthFailure::badResponse());
    auto gateway = refresh();
    ASSERT_TRUE(gateway);
    EXPECT_EQ(gateway->value.error(), AuthFailure::server(502));

    auto name = await<std::optional<std::string>>(
        [&](auto done) { t->signupUsername("access-1", std::move(done)); });
    ASSERT_TRUE(name);
    EXPECT_EQ(name->value, std::nullopt);
}

}  // namespace
}  // namespace parlendo
