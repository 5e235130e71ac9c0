#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "manage/BridgeRouter.h"
#include "manage/FeedbackRoutes.h"

#include <optional>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::LogCapture;

constexpr const char* path = "/functions/v1/send-feedback";

struct FeedbackRig {
    LogCapture log;
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<testing::FakeSession> session = std::make_shared<testing::FakeSession>();
    std::shared_ptr<BridgeRouter> router = BridgeRouter::make({std::make_shared<FeedbackRoutes>(
        std::make_shared<FeedbackSender>(server, session, "0.2.0"))});

    Json send(std::vector<Json> args) {
        std::optional<Json> result;
        router->respond("send_feedback", std::move(args), [&](Json r) { result = r; });
        return result.value_or(Json());
    }
    std::string msg(std::vector<Json> args) { return send(std::move(args)).value("msg", "sent"); }
};

TEST(Feedback, RefusesTextThatIsMissingBlankOrTooLongWithoutARequest) {
    FeedbackRig rig;
    EXPECT_EQ(rig.send({}), (Json{{"ok", false}, {"msg", "FEEDBACK_TEXT_INVALID"}}));
    EXPECT_TRUE(rig.log.has("feedback", "chars=0 status=FEEDBACK_TEXT_INVALID"));
    EXPECT_EQ(rig.msg({12}), "FEEDBACK_TEXT_INVALID");
    EXPECT_EQ(rig.msg({"   "}), "FEEDBACK_TEXT_INVALID");
    EXPECT_TRUE(rig.log.has("feedback", "chars=3 status=FEEDBACK_TEXT_INVALID"));
    // 2000 scalars of Korean text plus surrounding blanks: the text as sent is too long.
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "가";
    }
    EXPECT_EQ(rig.msg({"  " + text + "  "}), "FEEDBACK_TEXT_INVALID");
    EXPECT_TRUE(rig.log.has("feedback", "chars=2004 status=FEEDBACK_TEXT_INVALID"));

    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.msg({text}), "AUTH_ADMISSION_CLOSED");
    EXPECT_EQ(rig.server->count(), 0u);
    // The router logs a custom failure with its code.
    EXPECT_TRUE(
        rig.log.has("manage", "send_feedback 실패 msg=AUTH_ADMISSION_CLOSED code=- state=-"));
}

TEST(Feedback, SendsTheTrimmedTextWithTheVersion) {
    FeedbackRig rig;
    rig.server->ok("POST", path, R"({"status": "sent"})");
    EXPECT_EQ(rig.send({"  좋아요 \n"}), (Json{{"ok", true}, {"data", {{"status", "sent"}}}}));
    ASSERT_EQ(rig.server->count(), 1u);
    const auto call = rig.server->calls()[0];
    EXPECT_EQ(call.path, path);
    EXPECT_EQ(call.json, (Json{{"text", "좋아요"}, {"app_version", "0.2.0"}}));
    EXPECT_TRUE(call.headers.empty());
    EXPECT_EQ(call.timeout, 15.0);
    EXPECT_TRUE(rig.log.has("feedback", "chars=3 status=sent"));
    EXPECT_FALSE(rig.log.contains("feedback", "좋아요"));
}

TEST(Feedback, ClassifiesEveryAnswer) {
    using S = FeedbackSender;
    EXPECT_EQ(S::classify(R"({"status": "queued"})"), "FEEDBACK_FAILED");
    EXPECT_EQ(S::classify(R"([{"status": "sent"}])"), "FEEDBACK_FAILED");
    EXPECT_EQ(S::classify(R"("sent")"), "FEEDBACK_FAILED");
    EXPECT_EQ(S::classify("<html>"), "FEEDBACK_NETWORK");
    EXPECT_EQ(S::classify(std::string(131073, ' ')), "FEEDBACK_NETWORK");
    EXPECT_EQ(S::classify(R"({"status": "sent"})"), std::nullopt);

    const auto code = [](CallFailureDetail detail) {
        return S::classify(detail);
    };
    EXPECT_EQ(code({CallFailure::rejected(429), 429}), "FEEDBACK_RATE_LIMITED");
    EXPECT_EQ(code({CallFailure::rejected(404), 404}), "FEEDBACK_UNAVAILABLE");
    EXPECT_EQ(code({CallFailure::rejected(400), 400}), "FEEDBACK_TEXT_INVALID");
    EXPECT_EQ(code({CallFailure::authRequired(), 401}), "AUTH_ADMISSION_CLOSED");
    EXPECT_EQ(code({CallFailure::rejected(500), 500}), "FEEDBACK_FAILED");
    EXPECT_EQ(code({CallFailure::timeout()}), "FEEDBACK_NETWORK");
    EXPECT_EQ(code({CallFailure::badShape()}), "FEEDBACK_NETWORK");
    EXPECT_EQ(code({CallFailure::authRequired()}), "AUTH_ADMISSION_CLOSED");
    EXPECT_EQ(code({CallFailure::quota()}), "FEEDBACK_FAILED");
    // A replayed server block counts as refused even when it carries a status.
    CallFailureDetail blocked(CallFailure::rejected(429), 429);
    blocked.verdict = ServerContract::Verdict(ServerContract::Kind::busy, "BUSY");
    EXPECT_EQ(code(blocked), "FEEDBACK_FAILED");

    FeedbackRig rig;
    rig.server->failure("POST", path, CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(rig.msg({"hi"}), "FEEDBACK_NETWORK");
}

TEST(Feedback, WithoutASenderTheCallIsNotServed) {
    LogCapture log;
    auto router = BridgeRouter::make({std::make_shared<FeedbackRoutes>()});
    std::optional<Json> result;
    router->respond("send_feedback", {"hi"}, [&](Json r) { result = r; });
    EXPECT_EQ((*result)["msg"], "REQUEST_FAILED");
    EXPECT_TRUE(log.has("manage", "send_feedback 실패 reason=not_yet_on_mac"));
}

}  // namespace
}  // namespace parlendo
