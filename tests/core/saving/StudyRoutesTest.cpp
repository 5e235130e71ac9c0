#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "manage/ManageContract.h"
#include "saving/ServerStudyRecorder.h"
#include "saving/StudyRoutes.h"

#include <thread>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::ManualExecutor;

const std::string table = "/rest/v1/reviews";
const std::string op = "0a0a0a0a-1111-4222-8333-444455556666";

class StudyRoutesTest : public ::testing::Test {
  protected:
    StudyRoutesTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          main_(std::make_shared<ManualExecutor>()),
          recorder_(ServerStudyRecorder::make(server_, session_, [] { return op; })),
          routes_(recorder_, main_) {}

    BridgeReply call(const std::string& name, std::vector<Json> args) {
        std::optional<BridgeReply> reply;
        routes_.routes().at(name).handler()(BridgeArgs(std::move(args)),
                                            [&](BridgeReply r) { reply = std::move(r); });
        main_->runAll();
        EXPECT_TRUE(reply);
        return reply.value_or(BridgeReply::requestFailed("no reply"));
    }

    static Json custom(const BridgeReply& reply) {
        const auto* c = reply.as<BridgeReply::Custom>();
        return c ? c->value : Json();
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ManualExecutor> main_;
    std::shared_ptr<ServerStudyRecorder> recorder_;
    StudyRoutes routes_;
};

TEST_F(StudyRoutesTest, AConfirmedReviewRepliesWithTheStoredRow) {
    const Json row{{"review_id", op}, {"user_id", "user-1"}, {"word_id", "w1"}, {"is_known", true}};
    server_->ok("POST", table, Json::array({row}).dump());
    EXPECT_EQ(call("save_review", {true, "w1"}), BridgeReply::ok(row));
    EXPECT_EQ(routes_.routes().size(), 2u);
}

TEST_F(StudyRoutesTest, BadArgumentsAndAMissingLoginAreSaveFailures) {
    for (auto args : {std::vector<Json>{1, "w1"}, std::vector<Json>{true}, std::vector<Json>{}}) {
        const Json reply = custom(call("save_review", args));
        EXPECT_EQ(reply["msg"], "SAVE_NOT_CONFIRMED");
        EXPECT_EQ(reply["error_class"], "save");
        EXPECT_EQ(reply["save"]["state"], "failed_terminal");
        EXPECT_EQ(reply["save"]["attempt_count"], 0);
        EXPECT_EQ(reply["save"]["error_code"], "invalid_review_payload");
        EXPECT_FALSE(reply["save"].contains("commit_evidence"));
    }
    session_->setUser(std::nullopt);
    const Json reply = custom(call("save_review", {false, "w1"}));
    EXPECT_EQ(reply["msg"], "AUTH_REAUTH_REQUIRED");
    EXPECT_EQ(reply["error_class"], "auth");
    EXPECT_EQ(reply["save"]["error_code"], "request_authentication");
    EXPECT_TRUE(server_->calls().empty());
}

TEST_F(StudyRoutesTest, ALostAnswerIsUnconfirmedUntilTheStatusFindsTheRow) {
    const Json row{
        {"review_id", op}, {"user_id", "user-1"}, {"word_id", "w1"}, {"is_known", false}};
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    server_->ok("GET", table, Json::array({row}).dump());
    const Json lost = custom(call("save_review", {false, "w1"}));
    EXPECT_EQ(lost["msg"], "SAVE_NOT_CONFIRMED");
    EXPECT_EQ(lost["save"]["state"], "commit_unknown");
    EXPECT_EQ(lost["save"]["operation_id"], op);
    EXPECT_FALSE(lost["save"].contains("commit_evidence"));

    const auto status = call("save_status", {op});
    const auto* ok = status.as<BridgeReply::Ok>();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->value["state"], "confirmed");
    EXPECT_EQ(ok->value["kind"], "review");
    EXPECT_EQ(ok->value["commit_evidence"], row);
}

TEST_F(StudyRoutesTest, StatusRepliesForUnknownStaleAndPendingSaves) {
    for (auto args : {std::vector<Json>{}, std::vector<Json>{"nope"}}) {
        EXPECT_EQ(custom(call("save_status", args)),
                  (Json{{"ok", false},
                        {"msg", "SAVE_NOT_CONFIRMED"},
                        {"error_class", "save"},
                        {"save", {{"error_code", "transport_or_response_unknown"}}}}));
    }
    StudySave save;
    save.operationID = op;
    save.state = StudySaveState::commitUnknown;
    save.attemptCount = 1;
    save.errorCode = "transport_or_response_unknown";
    const Json screen = StudyRoutes::statusReply(save).as<BridgeReply::Ok>()->value;
    EXPECT_TRUE(screen.contains("commit_evidence"));
    EXPECT_TRUE(screen["commit_evidence"].is_null());
    save.stale = true;
    EXPECT_EQ(StudyRoutes::statusReply(save), BridgeReply::failed(CallFailure::stale()));
    save.stale = false;
    save.authRequired = true;
    EXPECT_EQ(StudyRoutes::statusReply(save), BridgeReply::failed(CallFailure::authRequired()));
}

TEST_F(StudyRoutesTest, RepliesReturnToTheMainExecutor) {
    const Json row{{"review_id", op}, {"user_id", "user-1"}, {"word_id", "w1"}, {"is_known", true}};
    server_->ok("POST", table, Json::array({row}).dump());
    server_->hold(true);
    std::optional<BridgeReply> reply;
    routes_.routes().at("save_review").handler()(BridgeArgs({true, "w1"}), [&](BridgeReply r) {
        reply = std::move(r);
    });
    std::thread([&] { server_->releaseNext(); }).join();
    EXPECT_FALSE(reply);
    main_->runAll();
    EXPECT_EQ(reply, BridgeReply::ok(row));
}

}  // namespace
}  // namespace parlendo
