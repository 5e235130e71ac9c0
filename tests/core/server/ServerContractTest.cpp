#include <gtest/gtest.h>

#include "server/ServerContract.h"

namespace parlendo {
namespace {

using namespace ServerContract;

constexpr double kNow = 1'780'000'000.0;

Verdict classifyBody(std::optional<int> status, const char* body, Scope scope,
                     std::optional<std::string> feature = std::nullopt,
                     const HttpHeaders& headers = {}) {
    return classify(status, Json::parse(body), headers, scope, feature, kNow);
}

TEST(ServerContractTest, EndpointsFindScopeAndFeature) {
    EXPECT_EQ(endpoint("/rest/v1/words?select=id"), (Endpoint{Scope::rest, "rest"}));
    EXPECT_EQ(endpoint("/functions/v1/translate-sentence"), (Endpoint{Scope::edge, "translate"}));
    EXPECT_EQ(endpoint("/functions/v1/unknown-fn"), (Endpoint{Scope::edge, std::nullopt}));
    EXPECT_EQ(endpoint("/auth/v1/token?grant_type=password"), (Endpoint{Scope::auth, {}}));
    EXPECT_EQ(endpoint("https://x.example.co/functions/v1/ask-document?x=1"),
              (Endpoint{Scope::edge, "ask"}));
    EXPECT_EQ(endpoint("/functions/v1"), Endpoint{});
    EXPECT_EQ(endpoint("/storage/v1/x"), Endpoint{});
    EXPECT_EQ(endpoint(""), Endpoint{});
    EXPECT_FALSE(classify(503, "{}", {}, "/storage/v1/x", kNow).has_value());
    EXPECT_FALSE(classify(503, "{}", {}, "/functions/v1", kNow).has_value());
}

TEST(ServerContractTest, SuccessStatusesAreOkWhateverTheBody) {
    for (Scope scope : {Scope::edge, Scope::rest, Scope::auth}) {
        EXPECT_EQ(classifyBody(204, R"({"code":"service_paused"})", scope).kind, Kind::ok);
        EXPECT_EQ(classifyBody(304, R"({"code":"over_request_rate_limit"})", scope), Verdict{});
    }
    EXPECT_EQ(classify(400, "", {}, "/rest/v1/words", kNow), Verdict{Kind::other});
}

TEST(ServerContractTest, ContractCodesInEdgeAndRestBodies) {
    auto wrapped =
        classifyBody(500, R"({"code":"PT503","message":"service_paused"})", Scope::rest, "rest");
    EXPECT_EQ(wrapped, (Verdict{Kind::busy, "service_paused", "rest", std::nullopt, std::nullopt}));

    EXPECT_EQ(classifyBody(400, R"({"code":"P0001","message":"no_such_thing"})", Scope::rest),
              Verdict{Kind::other});

    auto off = classifyBody(
        403,
        R"({"error":"feature_disabled","feature":"nope","details":"ask","hint":"maintenance"})",
        Scope::edge, "generate");
    EXPECT_EQ(off,
              (Verdict{Kind::featureOff, "feature_disabled", "ask", std::nullopt, "maintenance"}));

    auto offFallback = classifyBody(403, R"({"code":"feature_disabled"})", Scope::edge, "embed");
    EXPECT_EQ(offFallback.feature, "embed");

    auto update = classifyBody(
        426, R"({"code":"app_update_required","notice":"update_recommended"})", Scope::edge, "ask");
    EXPECT_EQ(update, (Verdict{Kind::updateRequired, "app_update_required", std::nullopt,
                               std::nullopt, "update_recommended"}));

    auto unknownNotice = classifyBody(503, R"({"code":"global_budget_exceeded","notice":"party"})",
                                      Scope::edge, "ask");
    EXPECT_EQ(unknownNotice.kind, Kind::busy);
    EXPECT_EQ(unknownNotice.notice, std::nullopt);
}

TEST(ServerContractTest, BareBusyNeedsARetryValue) {
    auto busy = classifyBody(503, "null", Scope::edge, "translate", {{"retry-after", "0"}});
    EXPECT_EQ(busy, (Verdict{Kind::busy, std::nullopt, "translate", 1.0, std::nullopt}));

    EXPECT_EQ(classifyBody(429, "{}", Scope::edge, "ask"), Verdict{Kind::other});
    EXPECT_EQ(classifyBody(429, "{}", Scope::rest, "rest"), Verdict{Kind::other});

    auto fromBody = classifyBody(429, R"({"retry_after":2.5})", Scope::rest, "rest");
    EXPECT_EQ(fromBody, (Verdict{Kind::busy, std::nullopt, "rest", 2.5, std::nullopt}));

    auto noStatus = classifyBody(std::nullopt, R"({"retry_after":"9"})", Scope::rest, "rest");
    EXPECT_EQ(noStatus, (Verdict{Kind::other, std::nullopt, std::nullopt, 9.0, std::nullopt}));
}

TEST(ServerContractTest, AuthScopeRateLimits) {
    EXPECT_EQ(classifyBody(429, R"({"error_code":"too_many"})", Scope::auth),
              (Verdict{Kind::authRateLimited}));
    EXPECT_EQ(classifyBody(400, R"({"code":"over_request_rate_limit"})", Scope::auth),
              (Verdict{Kind::authRateLimited, "over_request_rate_limit"}));
    EXPECT_EQ(classifyBody(429, R"({"error_code":"over_request_rate_limit"})", Scope::auth,
                           std::nullopt, {{"Retry-After", "30"}}),
              (Verdict{Kind::authRateLimited, "over_request_rate_limit", std::nullopt, 30.0}));
    EXPECT_EQ(classifyBody(400, R"({"code":"invalid_grant"})", Scope::auth), Verdict{Kind::other});
    // Contract codes mean nothing to the auth service's answers.
    EXPECT_EQ(classifyBody(503, R"({"code":"service_paused"})", Scope::auth), Verdict{Kind::other});
}

TEST(ServerContractTest, RetryAfterValues) {
    auto text = [](const char* value) {
        return retryAfter(std::optional<std::string>(value), kNow);
    };
    EXPECT_EQ(text("7200"), 1800.0);
    EXPECT_EQ(text(" \t30 "), 30.0);
    EXPECT_EQ(text("0"), 1.0);
    EXPECT_EQ(text("12345678901"), std::nullopt);
    EXPECT_EQ(text(""), std::nullopt);
    EXPECT_EQ(text("soon"), std::nullopt);
    EXPECT_EQ(text("-5"), std::nullopt);
    EXPECT_EQ(retryAfter(Json(2.5), kNow), 2.5);
    EXPECT_EQ(retryAfter(Json(0.5), kNow), 1.0);
    EXPECT_EQ(retryAfter(Json(-1), kNow), std::nullopt);
    EXPECT_EQ(retryAfter(Json(true), kNow), std::nullopt);
    EXPECT_EQ(retryAfter(Json(nullptr), kNow), std::nullopt);
    EXPECT_EQ(retryAfter(Json::array({5}), kNow), std::nullopt);
    EXPECT_EQ(retryAfter(std::optional<std::string>(), kNow), std::nullopt);
}

TEST(ServerContractTest, HttpDates) {
    auto when = date("Sun, 06 Nov 1994 08:49:37 GMT");
    ASSERT_TRUE(when);
    EXPECT_DOUBLE_EQ(*when, 784111777.0);
    EXPECT_EQ(date("  Sun, 06 Nov 1994 08:49:37 GMT\t"), when);
    EXPECT_EQ(date("06 Nov 1994"), std::nullopt);
    EXPECT_EQ(date("Sun, 06 Nov 1994 08:49:37 GMT trailing"), std::nullopt);
    EXPECT_EQ(date("\xff\xfe"), std::nullopt);

    // Ten minutes ahead, then in the past.
    double now = 784111777.0 - 600.0;
    auto ahead = retryAfter(std::optional<std::string>("Sun, 06 Nov 1994 08:49:37 GMT"), now);
    ASSERT_TRUE(ahead);
    EXPECT_NEAR(*ahead, 600.0, 0.001);
    EXPECT_EQ(retryAfter(std::optional<std::string>("Sun, 06 Nov 1994 08:49:37 GMT"), now + 601),
              std::nullopt);
}

TEST(ServerContractTest, VersionComparison) {
    EXPECT_TRUE(versionBelow("1.2.3", "1.2.10"));
    EXPECT_FALSE(versionBelow("1.10.0", "1.9.9"));
    EXPECT_FALSE(versionBelow("1.2.3", "1.2.3"));
    EXPECT_TRUE(versionBelow("1.2.3+20240101.05", "1.2.3+20240202.01"));
    EXPECT_TRUE(versionBelow("1.2.3+20240101.02", "1.2.3+20240101.10"));
    EXPECT_FALSE(versionBelow("1.2.3+20240101.10", "1.2.3+20240101.02"));
    EXPECT_FALSE(versionBelow("1.2.3", "1.2.3+20240101.01"));
    EXPECT_FALSE(versionBelow("1.2", "9.9.9"));
    EXPECT_FALSE(versionBelow("1.2.3", std::nullopt));
    EXPECT_FALSE(versionBelow("1.2.3", "latest"));
    EXPECT_FALSE(versionBelow("1.2.3+2024", "2.0.0"));
}

TEST(ServerContractTest, AppGateDecisions) {
    Json reply = Json::parse(R"([{"min_supported":{"mac":"0.3.0"},
        "flags":{"embed":false,"ask":0,"rest":false,"translate":true},"retry_after":"90"}])");
    auto decision = gate(reply, "0.2.0", "mac", kNow);
    EXPECT_EQ(decision, (GateDecision{true, "update_required", {"embed", "rest"}, 90.0}));

    EXPECT_EQ(
        gate(Json::parse(R"({"notice":"maintenance","retry_after":5})"), "0.2.0", "mac", kNow),
        (GateDecision{false, "maintenance", {}, std::nullopt}));
    EXPECT_EQ(gate(Json::parse(R"({"notice":"party"})"), "0.2.0", "mac", kNow), GateDecision{});
    EXPECT_EQ(gate(Json::parse(R"([{"a":1},{"b":2}])"), "0.2.0", "mac", kNow), GateDecision{});
    EXPECT_EQ(gate(Json(nullptr), "0.2.0", "mac", kNow), GateDecision{});
    EXPECT_EQ(gate(Json::parse(R"({"min_supported":{"mac":9}})"), "0.2.0", "mac", kNow),
              GateDecision{});
}

TEST(ServerContractTest, BodiesAreParsedOnlyUpToTheCap) {
    std::string big = R"({"code":"service_paused","pad":")" + std::string(70000, 'x') + R"("})";
    EXPECT_EQ(classify(503, big, {}, "/functions/v1/ask-document", kNow), Verdict{Kind::other});
    EXPECT_EQ(classify(503, "\xff{not json", {}, "/functions/v1/ask-document", kNow),
              Verdict{Kind::other});
    EXPECT_EQ(parseBody("\"fragment\""), Json("fragment"));
}

TEST(ServerContractTest, RawNamesRoundTrip) {
    EXPECT_EQ(contractKindFromString(toString(Kind::authRateLimited)), Kind::authRateLimited);
    EXPECT_EQ(contractKindFromString("OK"), std::nullopt);
    EXPECT_EQ(contractScopeFromString("edge"), Scope::edge);
    EXPECT_EQ(contractScopeFromString("storage"), std::nullopt);
}

}  // namespace
}  // namespace parlendo
