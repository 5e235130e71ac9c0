#include <gtest/gtest.h>

#include "LogCapture.h"
#include "auth/AccountScope.h"
#include "auth/AuthBackoff.h"
#include "auth/AuthCallback.h"

namespace parlendo {
namespace {

TEST(AuthBackoff, LadderJitterRetryAfterAndBursts) {
    AuthBackoff b;
    auto one = [] {
        return 1.0;
    };
    EXPECT_EQ(b.failed(0, std::nullopt, one), 15);
    EXPECT_EQ(b.failed(0, std::nullopt, one), 30);
    EXPECT_EQ(b.failed(0, std::nullopt, [] { return 0.2; }), 30);   // 60 × 0.5
    EXPECT_EQ(b.failed(0, std::nullopt, [] { return 2.0; }), 180);  // 120 × 1.5
    EXPECT_EQ(b.failed(0, std::nullopt, one), 120);
    EXPECT_EQ(b.step, 5);
    EXPECT_EQ(b.failed(100, 0.3, one), 1);
    EXPECT_EQ(b.failed(100, 5000.0, one), 1800);
    EXPECT_EQ(b.step, 7);
    EXPECT_EQ(b.remaining(1900), std::nullopt);  // exactly at the deadline
    EXPECT_EQ(b.remaining(1000), 900);

    AuthBackoff burst;
    burst.step = 2;
    burst.beginBurst();
    EXPECT_EQ(burst.failed(0, std::nullopt, one), 60);
    EXPECT_EQ(burst.failed(0, std::nullopt, one), 60);
    EXPECT_EQ(burst.step, 3);
    burst.succeeded();
    EXPECT_EQ(burst.burstStepped, true);
    EXPECT_EQ(burst.until, std::nullopt);

    EXPECT_EQ(AuthBackoff::restoreRetryDelay(0.4, 0), 1);
    EXPECT_EQ(AuthBackoff::restoreRetryDelay(std::nullopt, -3), 5);
    EXPECT_EQ(AuthBackoff::restoreRetryDelay(std::nullopt, 9), 60);
    EXPECT_TRUE(AuthBackoff::applies(AuthFailure::rejected("over_request_rate_limit")));
    EXPECT_FALSE(AuthBackoff::applies(AuthFailure::network()));
}

TEST(AuthCallback, ParsesMailLinks) {
    using CB = AuthCallback;
    EXPECT_EQ(CB::parse("parlendo://auth-callback#access_token=a&refresh_token=r1&type=recovery"),
              CB(CB::Recovery{"r1"}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?refresh_token=r1&type=recovery"),
              CB(CB::Recovery{"r1"}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery#type=signup"),
              CB(CB::EmailConfirmed{}));
    EXPECT_EQ(CB::parse("PARLENDO://Auth-Callback?type=email"), CB(CB::EmailConfirmed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=Signup"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?error_code=otp_expired"), CB(CB::Failed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token="), CB(CB::Failed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?lonely"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("parlendo://elsewhere?type=signup"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=magiclink"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("https://auth-callback?type=signup"), CB(CB::Ignored{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token=a%2Bb"),
              CB(CB::Recovery{"a+b"}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token=a%zzb"),
              CB(CB::Recovery{"a%zzb"}));
    // Two different tokens, or one part giving a deciding key two values: not usable.
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token=a&refresh_token=b"),
              CB(CB::Failed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token=a#refresh_token=b"),
              CB(CB::Failed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback#type=signup&type=recovery&refresh_token=a"),
              CB(CB::Failed{}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback?type=recovery&refresh_token=a#refresh_token=a"),
              CB(CB::Recovery{"a"}));
    EXPECT_EQ(CB::parse("parlendo://auth-callback#type=recovery&refresh_token=a&type=recovery"),
              CB(CB::Recovery{"a"}));
    EXPECT_EQ(CB(CB::Recovery{"x"}).kind(), "recovery");
    EXPECT_EQ(CB(CB::EmailConfirmed{}).kind(), "email_confirmed");
}

TEST(AccountScope, RunsClearersOncePerChange) {
    testing::LogCapture logs;
    AccountScope scope;
    EXPECT_FALSE(scope.observe(std::nullopt));
    EXPECT_TRUE(logs.messages("account").empty());
    EXPECT_TRUE(scope.observe(std::string("u1")));  // no clearers yet
    EXPECT_EQ(logs.messages("account").back(), "계정이 바뀜 — 비움: ");

    std::vector<std::string> calls;
    scope.onAccountChange("제목 벡터", [&](const auto& id) {
        calls.push_back("a:" + id.value_or("-"));
        // A clearer may register another without deadlock; it runs from the next change on.
        scope.onAccountChange("늦게", [&](const auto&) { calls.push_back("late"); });
    });
    scope.onAccountChange("출처 기억",
                          [&](const auto& id) { calls.push_back("b:" + id.value_or("-")); });
    EXPECT_TRUE(scope.observe(std::string("u2")));
    EXPECT_FALSE(scope.observe(std::string("u2")));
    EXPECT_EQ(calls, (std::vector<std::string>{"a:u2", "b:u2"}));
    EXPECT_EQ(logs.messages("account").back(), "계정이 바뀜 — 비움: 제목 벡터 · 출처 기억");
    EXPECT_TRUE(scope.observe(std::nullopt));
    EXPECT_EQ(calls.back(), "late");
}

}  // namespace
}  // namespace parlendo
