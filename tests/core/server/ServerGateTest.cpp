#include <gtest/gtest.h>

#include "LogCapture.h"
#include "server/ServerGate.h"

#include <atomic>

namespace parlendo {
namespace {

using ServerContract::Kind;
using ServerContract::Verdict;

class ServerGateTest : public ::testing::Test {
  protected:
    ServerGateTest() : gate_([this] { return uptime_; }, [] { return 1'780'000'000.0; }) {
        gate_.setOnNoticeChange([this] { ++noticeChanges_; });
    }
    void advance(double seconds) { uptime_ += seconds; }

    testing::LogCapture log_;
    double uptime_ = 1000;
    std::atomic<int> noticeChanges_{0};
    ServerGate gate_;
};

TEST_F(ServerGateTest, BusyCodeBlocksTheFeatureAndReplays) {
    Verdict paused{Kind::busy, "service_paused", "ask", std::nullopt, std::nullopt};
    gate_.observe(paused, std::nullopt, 503);
    EXPECT_EQ(log_.messages("server_gate"),
              std::vector<std::string>{
                  "reason=service_paused where=ask http_status=503 retry_after_s=60"});

    auto replay = gate_.replay("/functions/v1/ask-document");
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->failure, CallFailure::unavailable());
    EXPECT_EQ(replay->status, 503);
    EXPECT_EQ(replay->contractCode(), "service_paused");
    EXPECT_EQ(replay->retryAfter, std::nullopt);
    EXPECT_FALSE(gate_.replay("/functions/v1/translate-sentence"));

    // A second verdict 10 s later keeps the later end and logs nothing more.
    advance(10);
    gate_.observe(paused, std::nullopt, 503);
    EXPECT_EQ(log_.messages("server_gate").size(), 1u);
    EXPECT_DOUBLE_EQ(gate_.remaining("ask"), 60.0);
    advance(59.5);
    EXPECT_TRUE(gate_.replay("/functions/v1/ask-document"));
    advance(0.5);
    EXPECT_FALSE(gate_.replay("/functions/v1/ask-document"));
    EXPECT_EQ(gate_.remaining("ask"), 0.0);
}

TEST_F(ServerGateTest, BareBusyRecordsOnlyAHint) {
    Verdict bare{Kind::busy, std::nullopt, "embed", 20.0, std::nullopt};
    gate_.observe(bare, std::nullopt, 429);
    gate_.observe(bare, std::nullopt, 429);  // within the hint: no second line
    EXPECT_EQ(log_.messages("server_gate"),
              std::vector<std::string>{"reason=busy where=embed http_status=429 retry_after_s=20"});
    EXPECT_FALSE(gate_.replay("/functions/v1/embed-title"));
    EXPECT_TRUE(gate_.backgroundAllowed({"embed"}));
    EXPECT_DOUBLE_EQ(gate_.retryHint("embed"), 20.0);
    advance(25);
    EXPECT_EQ(gate_.retryHint("embed"), 0.0);
}

TEST_F(ServerGateTest, FeatureOffClampsAndRestBlocksBackgroundWork) {
    gate_.observe(Verdict{Kind::featureOff, "feature_disabled", "translate", 1800.0, {}});
    EXPECT_DOUBLE_EQ(gate_.remaining("translate"), 1800.0);
    gate_.observe(Verdict{Kind::featureOff, "feature_disabled", "embed", std::nullopt, {}});
    EXPECT_DOUBLE_EQ(gate_.remaining("embed"), 300.0);

    gate_.observe(Verdict{Kind::featureOff, "feature_disabled", std::nullopt, 5.0, {}}, "rest");
    EXPECT_FALSE(gate_.backgroundAllowed({}));
    EXPECT_FALSE(gate_.backgroundAllowed({"prefetch"}));
    EXPECT_FALSE(gate_.replay("/rest/v1/words?select=id"));  // only edge paths replay
    advance(5);
    EXPECT_TRUE(gate_.backgroundAllowed({"prefetch"}));
    EXPECT_FALSE(gate_.backgroundAllowed({"title_upload", "embed"}));
}

TEST_F(ServerGateTest, VerdictsWithoutAKnownFeatureChangeNothing) {
    gate_.observe(Verdict{Kind::busy, "service_paused", std::nullopt, 30.0, "service_paused"});
    gate_.observe(Verdict{Kind::featureOff, "feature_disabled", "weather", 30.0, {}});
    gate_.observe(Verdict{Kind::other, "service_paused", "ask", 30.0, {}});
    EXPECT_TRUE(log_.messages("server_gate").empty());
    EXPECT_TRUE(gate_.backgroundAllowed({"ask", "weather"}));
    EXPECT_FALSE(gate_.notice());
    EXPECT_EQ(noticeChanges_, 0);
}

TEST_F(ServerGateTest, UpdateRequiredIsForever) {
    Verdict update{Kind::updateRequired, "app_update_required", {}, {}, {}};
    gate_.observe(update, std::nullopt, 426, std::nullopt, "edge");
    gate_.observe(update, std::nullopt, 426, std::nullopt, "edge");
    EXPECT_EQ(log_.messages("server_gate"),
              std::vector<std::string>{"reason=app_update_required where=edge http_status=426"});
    EXPECT_EQ(noticeChanges_, 1);
    EXPECT_TRUE(gate_.updateRequired());
    EXPECT_FALSE(gate_.backgroundAllowed({}));

    gate_.applyAppGate(Json::parse(R"({"notice":"maintenance"})"), "0.2.0", "mac");
    auto notice = gate_.notice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->key, "update_required");
    EXPECT_TRUE(notice->updateRequired);
    EXPECT_EQ(notice->screen()["update_required"], true);
    EXPECT_EQ(gate_.menuLine(), "⚠️ 새 버전으로 업데이트해 주세요");

    auto replay = ServerGate::replayFailure(update, std::nullopt);
    EXPECT_EQ(replay.failure,
              CallFailure::rejectedDetail({403, "app_update_required", "app_update_required"}));
    EXPECT_EQ(replay.status, 403);
}

TEST_F(ServerGateTest, BusyNoticeEndsWithItsBlock) {
    gate_.observe(Verdict{Kind::busy, "service_paused", "generate", 30.0, "service_paused"});
    EXPECT_EQ(noticeChanges_, 1);
    // The same notice from another feature keeps the notice alive while either is blocked.
    gate_.observe(Verdict{Kind::busy, "service_paused", "translate", 50.0, "service_paused"});
    auto notice = gate_.notice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->text,
              "사용량이 많아 일부 기능을 잠시 쉬고 있어요. 잠시 뒤 다시 시도해 주세요.");
    advance(40);
    EXPECT_TRUE(gate_.notice());
    advance(10);
    log_.clear();
    EXPECT_FALSE(gate_.notice());
    EXPECT_EQ(log_.messages("server_gate"),
              std::vector<std::string>{"알림 지움 — 쉬는 기간이 끝남"});
    EXPECT_EQ(noticeChanges_, 2);
    EXPECT_FALSE(gate_.menuLine());
}

TEST_F(ServerGateTest, AppGateNoticeStaysAndIsNotReplacedByVerdicts) {
    gate_.applyAppGate(Json::parse(R"({"notice":"maintenance"})"), "0.2.0", "mac");
    gate_.observe(Verdict{Kind::busy, "service_paused", "generate", 30.0, "service_paused"});
    advance(100000);
    auto notice = gate_.notice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->key, "maintenance");
    EXPECT_EQ(gate_.menuLine(), "서버 점검 중 — 일부 기능이 잠시 멈출 수 있어요");
}

TEST_F(ServerGateTest, AuthWindowCountsDown) {
    gate_.observe(Verdict{Kind::authRateLimited, "over_request_rate_limit", {}, 30.0, {}},
                  std::nullopt, 429, std::nullopt, "auth");
    EXPECT_EQ(
        log_.messages("server_gate"),
        std::vector<std::string>{"reason=auth_rate_limited http_status=429 retry_after_s=30"});
    EXPECT_DOUBLE_EQ(*gate_.authRetryAfter(), 30.0);
    advance(10);
    EXPECT_DOUBLE_EQ(*gate_.authRetryAfter(), 20.0);
    advance(20);
    EXPECT_EQ(gate_.authRetryAfter(), std::nullopt);
    gate_.observe(Verdict{Kind::authRateLimited, {}, {}, std::nullopt, {}});
    EXPECT_EQ(log_.messages("server_gate").back(),
              "reason=auth_rate_limited http_status=- retry_after_s=-");
    EXPECT_EQ(gate_.authRetryAfter(), std::nullopt);
}

TEST_F(ServerGateTest, AppGateReadRunsOnce) {
    EXPECT_EQ(gate_.appGateState(), "not_started");
    EXPECT_TRUE(gate_.beginAppGateRead());
    EXPECT_FALSE(gate_.beginAppGateRead());
    EXPECT_EQ(gate_.appGateState(), "pending");

    std::string state;
    gate_.readAppGate(
        "0.2.0", "mac",
        [](auto completion) {
            completion(std::string(
                R"({"min_supported":{"mac":"0.3.0"},"flags":{"ask":false,"embed":false}})"));
        },
        [&](std::string s) { state = std::move(s); });
    EXPECT_EQ(state, "ok");
    EXPECT_EQ(gate_.appGateState(), "ok");
    EXPECT_EQ(log_.messages("server_gate").back(), "app_gate status=ok off=2 update_required=true");
    auto replay = gate_.replay("/functions/v1/ask-document");
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->status, 503);
    EXPECT_EQ(replay->contractCode(), "feature_disabled");
    EXPECT_DOUBLE_EQ(gate_.remaining("embed"), 300.0);
}

TEST_F(ServerGateTest, AppGateFailuresRecordTheirState) {
    auto read = [this](CallFailureDetail failure) {
        std::string state;
        gate_.readAppGate(
            "0.2.0", "mac", [failure](auto completion) { completion(fail(failure)); },
            [&](std::string s) { state = std::move(s); });
        return state;
    };
    EXPECT_EQ(read({CallFailure::rejectedDetail({400, "PGRST202", "missing"}), 400}), "not_found");
    EXPECT_EQ(read({CallFailure::rejected(404), 404}), "not_found");
    EXPECT_EQ(read({CallFailure::unavailable(), 404}), "not_found");
    EXPECT_EQ(read({CallFailure::timeout()}), "error");
    EXPECT_EQ(gate_.appGateState(), "error");
    EXPECT_EQ(log_.messages("server_gate").back(),
              "app_gate status=error off=0 update_required=false");

    // Undecodable bytes are no reply: nothing changes, the read still counts as ok.
    std::string state;
    gate_.readAppGate(
        "0.2.0", "mac", [](auto completion) { completion(std::string("\xff<html>")); },
        [&](std::string s) { state = std::move(s); });
    EXPECT_EQ(state, "ok");
    EXPECT_TRUE(gate_.backgroundAllowed({"ask"}));
}

TEST(ServerGateLifetime, AnAppGateAnswerAfterTheGateIsGoneIsDropped) {
    auto gate = std::make_shared<ServerGate>();
    Completion<void(Result<std::string, CallFailureDetail>)> pending;
    std::string state;
    gate->readAppGate(
        "0.2.0", "mac", [&](auto completion) { pending = std::move(completion); },
        [&](std::string s) { state = std::move(s); });
    gate.reset();
    pending(std::string(R"({"flags":{"ask":false}})"));
    EXPECT_EQ(state, "error");
}

TEST_F(ServerGateTest, FunctionMissing) {
    EXPECT_TRUE(ServerGate::functionMissing(CallFailure::rejected(404)));
    EXPECT_FALSE(ServerGate::functionMissing(CallFailure::rejected(400)));
    EXPECT_TRUE(ServerGate::functionMissing(CallFailure::rejectedDetail({404, "x", ""})));
    EXPECT_TRUE(ServerGate::functionMissing(CallFailure::rejectedDetail({400, "PGRST202", ""})));
    EXPECT_FALSE(ServerGate::functionMissing(CallFailure::timeout()));
    EXPECT_FALSE(ServerGate::functionMissing(std::string("404")));
}

TEST_F(ServerGateTest, NoticeCallbackMayCallBackIntoTheGate) {
    std::optional<ServerGate::Notice> seen;
    gate_.setOnNoticeChange([&] { seen = gate_.notice(); });
    gate_.observe(Verdict{Kind::busy, "service_paused", "ask", 30.0, "maintenance"});
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->key, "maintenance");
}

}  // namespace
}  // namespace parlendo
