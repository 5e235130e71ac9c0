#include <gtest/gtest.h>

#include "LogCapture.h"
#include "manage/BridgeRoutes.h"
#include "manage/ManageContract.h"

#include <limits>

namespace parlendo {
namespace {

namespace MC = ManageContract;

ServerRejection rejection(std::string code) {
    return ServerRejection{400, std::move(code), "message"};
}

TEST(BridgeArgs, ReadersNeverFail) {
    BridgeArgs args = BridgeArgs::fromJson(Json::parse(R"(["a", 1, ["x", "y"], ["x", 2], null])"));
    EXPECT_EQ(args.string(0), "a");
    EXPECT_EQ(args.string(1), "");
    EXPECT_EQ(args.string(9), "");
    EXPECT_EQ(args.optionalString(4), std::nullopt);
    EXPECT_EQ(args.strings(2), (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(args.strings(3).empty());
    EXPECT_TRUE(args.any(4) && args.any(4)->is_null());
    EXPECT_EQ(args.any(5), nullptr);
    EXPECT_TRUE(BridgeArgs::fromJson(Json("not a list")).raw.empty());

    auto table = BridgeRoutes::notYet({"a", "b"});
    EXPECT_EQ(table.size(), 2u);
    EXPECT_FALSE(table.at("a").isImplemented());
}

TEST(ManageContract, FailureEnvelopesAndReasons) {
    EXPECT_EQ(MC::failure(CallFailure::authRequired()),
              Json::parse(R"({"ok":false,"msg":"AUTH_REAUTH_REQUIRED","error_class":"auth"})"));
    EXPECT_EQ(MC::failure(CallFailure::stale()),
              Json::parse(R"({"ok":false,"msg":"AUTH_STALE_COMPLETION","error_class":"stale",
                              "stale":true})"));
    // What went wrong travels with the request failure, so that the page can say it.
    EXPECT_EQ(MC::failure(CallFailure::quota()),
              Json::parse(R"({"ok":false,"msg":"REQUEST_FAILED","error_class":"request",
                              "failure":"quota"})"));
    EXPECT_EQ(MC::failure(CallFailure::rejected(404)),
              Json::parse(R"({"ok":false,"msg":"REQUEST_FAILED","error_class":"request",
                              "failure":"rejected","status":404})"));
    EXPECT_EQ(MC::failure(CallFailure::unavailable())["failure"], "unavailable");
    EXPECT_EQ(MC::failure(CallFailure::timeout())["failure"], "timeout");

    EXPECT_EQ(MC::reason(CallFailure::rejected(403)), "rejected_403");
    EXPECT_EQ(MC::reason(CallFailure::rejectedDetail(rejection("PGRST202"))), "rejected_PGRST202");
    EXPECT_EQ(MC::reason(CallFailure::rejectedDetail(rejection("has space"))), "rejected_other");
    EXPECT_EQ(MC::reason(CallFailure::rejectedDetail(rejection(std::string(41, 'a')))),
              "rejected_other");
    EXPECT_EQ(MC::reason(CallFailure::timeout()), "timeout");
}

TEST(ManageContract, WriteFailures) {
    auto unavailable = CallFailure::rejectedDetail(rejection("PGRST202"));
    EXPECT_EQ(MC::writeErrorCode(unavailable), "server_contract_unavailable");
    EXPECT_EQ(MC::writeFailure(unavailable, Json::object())["msg"], "server_contract_unavailable");
    auto other = CallFailure::rejectedDetail(rejection("23505"));
    EXPECT_EQ(MC::writeFailure(other, Json{{"kind", "review"}}),
              Json::parse(R"({"ok":false,"msg":"SAVE_NOT_CONFIRMED","error_class":"save",
                  "save":{"kind":"review","error_code":"contract_or_permission_rejected"}})"));
    EXPECT_EQ(MC::writeErrorCode(CallFailure::badShape()), "transport_or_response_unknown");
    EXPECT_EQ(MC::writeErrorCode(CallFailure::stale()), std::nullopt);
    EXPECT_EQ(MC::writeFailure(CallFailure::authRequired(), Json::object()),
              MC::failure(CallFailure::authRequired()));
}

TEST(ManageContract, WritingTurnsFailuresIntoReplies) {
    testing::LogCapture logs;
    auto run = [](Result<Json, MC::WriteError> outcome) {
        std::optional<BridgeReply> reply;
        MC::writing([outcome](auto done) mutable { done(outcome); },
                    [&](BridgeReply r) { reply = r; });
        return *reply;
    };
    EXPECT_EQ(run(Json{{"id", 1}}), BridgeReply::ok(Json{{"id", 1}}));
    EXPECT_EQ(run(fail(MC::WriteError(MC::WriteError::Writer{"outcome_unknown_create_folder",
                                                             "transport_or_response_unknown"}))),
              BridgeReply::custom(Json::parse(
                  R"({"ok":false,"msg":"SAVE_NOT_CONFIRMED","error_class":"save",
                      "save":{"error_code":"transport_or_response_unknown"}})")));
    EXPECT_TRUE(logs.contains("manage", "쓰기 실패 reason=outcome_unknown_create_folder"));
    EXPECT_EQ(
        run(fail(MC::WriteError(CallFailure::timeout()))).as<BridgeReply::Custom>()->value["save"],
        (Json{{"error_code", "transport_or_response_unknown"}}));
    EXPECT_EQ(run(fail(MC::WriteError(CallFailure::stale()))),
              BridgeReply::failed(CallFailure::stale()));
}

TEST(ManageContract, ValueReaders) {
    Json one = 1;
    Json yes = true;
    Json text = "true";
    Json infinite = std::numeric_limits<double>::infinity();
    EXPECT_EQ(MC::boolean(&one), std::nullopt);
    EXPECT_EQ(MC::boolean(&text), std::nullopt);
    EXPECT_EQ(MC::boolean(&yes), true);
    EXPECT_EQ(MC::number(&yes), std::nullopt);
    EXPECT_EQ(MC::number(&infinite), std::nullopt);
    EXPECT_EQ(MC::number(&one), 1.0);
    EXPECT_EQ(MC::number(nullptr), std::nullopt);
}

struct SaveForTest {
    enum class State { inFlight, confirmed, commitUnknown, failedTerminal };
    State state = State::commitUnknown;
    std::optional<std::string> errorCode;
    std::optional<Json> evidence;
    bool stale = false;
    bool authRequired = false;
    Json screen() const {
        return {{"state", "commit_unknown"}, {"commit_evidence", nullptr}, {"error_code", nullptr}};
    }
};

TEST(ManageContract, StudySaveReplies) {
    SaveForTest save;
    save.state = SaveForTest::State::confirmed;
    EXPECT_EQ(MC::studySave(save), BridgeReply::ok(Json::object()));
    save.state = SaveForTest::State::commitUnknown;
    save.stale = true;
    EXPECT_EQ(MC::studySave(save), BridgeReply::failed(CallFailure::stale()));
    save.stale = false;
    save.authRequired = true;
    Json expected = Json::parse(R"({"ok":false,"msg":"AUTH_REAUTH_REQUIRED","error_class":"auth",
        "save":{"state":"commit_unknown","error_code":null}})");
    EXPECT_EQ(MC::studySave(save), BridgeReply::custom(expected));
    save.authRequired = false;
    auto reply = MC::studySave(save).as<BridgeReply::Custom>()->value;
    EXPECT_EQ(reply["msg"], "SAVE_NOT_CONFIRMED");
    EXPECT_EQ(reply["save"], (Json{{"state", "commit_unknown"}, {"error_code", nullptr}}));
}

TEST(ManageContract, SignOutReport) {
    LogoutOutcome outcome{true, false, false, std::nullopt, 7};
    EXPECT_EQ(MC::signOut(outcome), Json::parse(R"({
        "credentials_absent_verified": false, "remote_refresh_revoke_result": "UNKNOWN",
        "next_launch_restore_protection": "UNKNOWN", "cleanup_incomplete": true,
        "work_stopped": true, "operations_drained": false, "scope": "local",
        "account_generation": 7})"));
    outcome.remoteRevoked = true;
    EXPECT_EQ(MC::signOut(outcome)["next_launch_restore_protection"], "VERIFIED");
    EXPECT_EQ(MC::signOut(outcome)["remote_refresh_revoke_result"], "VERIFIED");
}

}  // namespace
}  // namespace parlendo
