#include <gtest/gtest.h>

#include "auth/AuthCode.h"
#include "auth/AuthWire.h"

namespace parlendo {
namespace {

constexpr double now = 1'780'000'000.0;

AuthFailure failureOf(int status, std::string_view body, bool refresh) {
    return AuthWire::classify(status, body, false, refresh, now).error();
}

TEST(AuthWire, ClassifiesAnswers) {
    EXPECT_EQ(AuthWire::classify(0, std::nullopt, true, false, now).error(),
              AuthFailure::network());
    EXPECT_EQ(*AuthWire::classify(200, "[1]", false, false, now), Json::object());
    EXPECT_EQ(failureOf(429, R"({"error_code":"over_request_rate_limit"})", false),
              AuthFailure::rejected("over_request_rate_limit"));
    EXPECT_EQ(failureOf(429, "busy", true), AuthFailure::rateLimited());
    EXPECT_EQ(failureOf(503, "", true), AuthFailure::server(503));
    EXPECT_EQ(failureOf(400, R"({"error_code":"refresh_token_not_found"})", true),
              AuthFailure::confirmedInvalid());
    EXPECT_EQ(failureOf(400, R"({"error_code":"refresh_token_not_found"})", false),
              AuthFailure::rejected("refresh_token_not_found"));
    EXPECT_EQ(failureOf(400, R"({"error_description":"Invalid Refresh Token: gone"})", true),
              AuthFailure::confirmedInvalid());
    EXPECT_EQ(failureOf(400, R"({"error_code":"mystery","msg":"what"})", true),
              AuthFailure::badResponse());
    EXPECT_EQ(failureOf(401, "{}", true), AuthFailure::confirmedInvalid());
    EXPECT_EQ(failureOf(404, "", false), AuthFailure::rejected(""));
    // A contract rejection is a passing server fault, not a dead token.
    EXPECT_EQ(failureOf(403, R"({"code":"PT503","message":"service_paused"})", true),
              AuthFailure::server(403));
}

TEST(AuthWire, ServerCodes) {
    EXPECT_EQ(AuthWire::serverCode(Json{{"error_code", "Bad-Code"}, {"error", "x_y"}}), "x_y");
    EXPECT_EQ(AuthWire::serverCode(Json{{"msg", "INVALID Login Credentials"}}),
              "invalid_credentials");
    EXPECT_EQ(AuthWire::serverCode(Json{{"message", "Email not confirmed"}}),
              "email_not_confirmed");
    EXPECT_EQ(AuthWire::serverCode(Json{{"msg", "User already registered"}}),
              "user_already_exists");
    EXPECT_EQ(AuthWire::serverCode(Json{{"msg", "Password should be at least 6 characters"}}),
              "weak_password");
    EXPECT_EQ(AuthWire::serverCode(Json{{"msg", "Email address is invalid"}}),
              "email_address_invalid");
    EXPECT_EQ(AuthWire::serverCode(Json{{"msg", 5}}), "");
}

TEST(AuthWire, SessionsAndSignUps) {
    Json answer = Json::parse(
        R"({"access_token":"at","refresh_token":"rt","user":{"id":"u1","email":"a@b.c"}})");
    auto session = AuthWire::parseSession(answer, now);
    ASSERT_TRUE(session);
    EXPECT_EQ(*session, (AuthSession{"at", "rt", "u1", "a@b.c", now + 3600}));
    answer["expires_in"] = 60;
    answer["user"]["email"] = nullptr;
    EXPECT_EQ(AuthWire::parseSession(answer, now)->expiresAt, now + 60);
    EXPECT_EQ(AuthWire::parseSession(answer, now)->email, std::nullopt);
    answer["refresh_token"] = "";
    EXPECT_EQ(AuthWire::parseSession(answer, now).error(), AuthFailure::badResponse());
    EXPECT_EQ(AuthWire::signUpResult(answer, now).error(), AuthFailure::badResponse());

    EXPECT_EQ(AuthWire::signUpResult(Json::parse(R"({"user":{"identities":[]}})"), now).error(),
              AuthFailure::rejected("user_already_exists"));
    EXPECT_EQ(AuthWire::signUpResult(Json::parse(R"({"identities":[]})"), now).error(),
              AuthFailure::rejected("user_already_exists"));
    EXPECT_EQ(*AuthWire::signUpResult(Json::parse(R"({"identities":[{"id":1}]})"), now),
              std::nullopt);

    EXPECT_EQ(AuthWire::signupUsername(Json::parse(R"({"user_metadata":{"username":" 민지\n"}})")),
              "민지");
    EXPECT_EQ(AuthWire::signupUsername(Json::parse(R"({"user_metadata":{"username":"  "}})")),
              std::nullopt);
}

TEST(AuthCode, MessagesAndMappings) {
    EXPECT_EQ(AuthCode::text("ACCOUNT_CLEANUP_NOT_OFFERED"), std::nullopt);
    EXPECT_EQ(AccountError(std::nullopt, "ACCOUNT_CLEANUP_NOT_OFFERED").message,
              "요청을 처리하지 못했어요.");
    EXPECT_EQ(AuthCode::signIn(AuthFailure::server(418)),
              AccountError("서버 오류 (418)", "AUTH_LOGIN_FAILED"));
    EXPECT_EQ(AuthCode::signIn(AuthFailure::server(524)).code, "AUTH_NETWORK_UNAVAILABLE");
    EXPECT_EQ(AuthCode::signIn(AuthFailure::rejected("email_not_confirmed")).code,
              "AUTH_EMAIL_NOT_CONFIRMED");
    EXPECT_EQ(AuthCode::signIn(AuthFailure::rejected("x")).message,
              "이메일 또는 비밀번호가 맞지 않아요.");

    auto mail = [](AuthFailure f, const char* fallback) {
        return AuthCode::mail(f, fallback).code;
    };
    EXPECT_EQ(mail(AuthFailure::rejected("weak_password"), "AUTH_SIGNUP_FAILED"),
              "AUTH_SIGNUP_WEAK_PASSWORD");
    EXPECT_EQ(mail(AuthFailure::rejected("weak_password"), "AUTH_RESEND_FAILED"),
              "AUTH_RESEND_FAILED");
    EXPECT_EQ(mail(AuthFailure::rejected("email_exists"), "AUTH_SIGNUP_FAILED"),
              "AUTH_SIGNUP_EMAIL_EXISTS");
    EXPECT_EQ(mail(AuthFailure::rateLimited(), "AUTH_RESEND_FAILED"), "AUTH_EMAIL_RATE_LIMIT");
    EXPECT_EQ(mail(AuthFailure::rejected("validation_failed"), "AUTH_RESEND_FAILED"),
              "AUTH_SIGNUP_EMAIL_INVALID");
    EXPECT_EQ(mail(AuthFailure::server(502), "AUTH_RESEND_FAILED"), "AUTH_NETWORK_UNAVAILABLE");
    EXPECT_EQ(mail(AuthFailure::badResponse(), "AUTH_RESEND_FAILED"), "AUTH_RESEND_FAILED");
}

}  // namespace
}  // namespace parlendo
