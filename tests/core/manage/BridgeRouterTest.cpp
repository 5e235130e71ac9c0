#include <gtest/gtest.h>

#include "FakeClock.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "RouteFixtures.h"
#include "manage/BridgeRouter.h"
#include "manage/ManageContract.h"

#include <optional>
#include <stdexcept>
#include <thread>

namespace parlendo {
namespace {

using testing::group;
using testing::LogCapture;

const Json requestFailed =
    Json::parse(R"({"ok":false,"msg":"REQUEST_FAILED","error_class":"request"})");

struct RouterRig {
    std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
    LogCapture log;

    std::shared_ptr<BridgeRouter> make(const BridgeRouter::Groups& groups) {
        return BridgeRouter::make(groups, clock);
    }
    // The result of one call that answers at once.
    static Json call(BridgeRouter& router, const std::string& name, std::vector<Json> args = {}) {
        std::optional<Json> result;
        router.respond(name, std::move(args), [&](Json r) { result = std::move(r); });
        EXPECT_TRUE(result.has_value()) << name << " did not answer";
        return result.value_or(Json());
    }
};

TEST(BridgeRouter, MergesGroupsInOrderAndKeepsTheFirstModeOfAName) {
    RouterRig rig;
    auto first = group();
    first->answer("b", BridgeReply::ok(1)).answer("a", BridgeReply::ok(2)).notServed("c");
    auto second = group();
    second->answer("z", BridgeReply::ok(3)).mode("z", BridgeLogMode::selfLogged);
    second->mode("a", BridgeLogMode::onChange);
    auto third = group();
    third->mode("z", BridgeLogMode::onChange);
    auto router = rig.make({first, nullptr, second, third});

    EXPECT_EQ(router->names(), (std::vector<std::string>{"a", "b", "c", "z"}));
    EXPECT_EQ(router->table().at("a"), BridgeStatus::implemented);
    EXPECT_EQ(router->table().at("c"), BridgeStatus::notYet);

    // "z" keeps the second group's mode: a success writes no line.
    EXPECT_EQ(RouterRig::call(*router, "z"), (Json{{"ok", true}, {"data", 3}}));
    EXPECT_FALSE(rig.log.contains("manage", "z ok="));
}

TEST(BridgeRouter, UnknownAndUnservedNamesAnswerTheRequestFailure) {
    RouterRig rig;
    auto routes = group();
    routes->notServed("send_feedback");
    auto router = rig.make({routes});

    EXPECT_EQ(RouterRig::call(*router, "no_such_call", {1, "x"}), requestFailed);
    EXPECT_EQ(RouterRig::call(*router, "send_feedback"), requestFailed);
    EXPECT_EQ(rig.log.messages("manage"),
              (std::vector<std::string>{
                  "no_such_call 실패 reason=unknown_method", "no_such_call ok=false ms=0",
                  "send_feedback 실패 reason=not_yet_on_mac", "send_feedback ok=false ms=0"}));
}

TEST(BridgeRouter, TurnsEachReplyIntoItsEnvelopeAndFailureLine) {
    RouterRig rig;
    auto routes = group();
    routes->answer("stale", BridgeReply::failed(CallFailure::stale()))
        .answer("auth", BridgeReply::failed(CallFailure::authRequired()))
        .answer("rejected", BridgeReply::failed(CallFailure::rejected(403)))
        .answer("screen", BridgeReply::authScreenFailed("AUTH_LOGIN_FAILED"))
        .answer("bare", BridgeReply::custom(42))
        .answer("no_ok", BridgeReply::custom(Json{{"status", "x"}}))
        .answer("save", BridgeReply::custom(ManageContract::writeFailure(
                            "contract_or_permission_rejected", Json{{"state", "failed_terminal"}})))
        .answer("plain_fail", BridgeReply::custom(Json{{"ok", false}, {"msg", 7}}));
    auto router = rig.make({routes});

    EXPECT_EQ(RouterRig::call(*router, "stale"), ManageContract::failure(CallFailure::stale()));
    EXPECT_EQ(RouterRig::call(*router, "stale")["error_class"], "stale");
    EXPECT_EQ(RouterRig::call(*router, "auth")["msg"], "AUTH_REAUTH_REQUIRED");
    // A refused call carries what the server answered, so that the page can say it.
    EXPECT_EQ(RouterRig::call(*router, "rejected"),
              Json::parse(R"({"ok":false,"msg":"REQUEST_FAILED","error_class":"request",
                              "failure":"rejected","status":403})"));
    EXPECT_EQ(RouterRig::call(*router, "screen"),
              (Json{{"ok", false}, {"msg", "AUTH_LOGIN_FAILED"}}));
    EXPECT_EQ(RouterRig::call(*router, "bare"), Json(42));
    EXPECT_EQ(RouterRig::call(*router, "no_ok"), (Json{{"status", "x"}}));
    RouterRig::call(*router, "save");
    RouterRig::call(*router, "plain_fail");

    const auto& log = rig.log;
    EXPECT_TRUE(log.has("manage", "stale 실패 reason=stale"));
    EXPECT_TRUE(log.has("manage", "auth 실패 reason=auth_required"));
    EXPECT_TRUE(log.has("manage", "rejected 실패 reason=rejected_403"));
    EXPECT_FALSE(log.contains("manage", "screen 실패"));
    EXPECT_TRUE(log.has("manage", "screen ok=false ms=0"));
    EXPECT_TRUE(log.has("manage", "bare ok=true ms=0"));
    // An object without "ok" counts as failed but writes no failure line.
    EXPECT_TRUE(log.has("manage", "no_ok ok=false ms=0"));
    EXPECT_FALSE(log.contains("manage", "no_ok 실패"));
    EXPECT_TRUE(log.has("manage",
                        "save 실패 msg=SAVE_NOT_CONFIRMED code=contract_or_permission_rejected "
                        "state=failed_terminal"));
    EXPECT_TRUE(log.has("manage", "plain_fail 실패 msg=- code=- state=-"));
}

TEST(BridgeRouter, OnChangeCallsAreLoggedOnlyWhenTheirReplyChanges) {
    RouterRig rig;
    Json reply = {{"enabled", false}};
    bool failing = false;
    auto routes = group();
    routes->serve("detect_status", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        done(failing ? BridgeReply::requestFailed("boom") : BridgeReply::ok(reply));
    });
    routes->mode("detect_status", BridgeLogMode::onChange);
    auto router = rig.make({routes});
    const auto lines = [&] {
        return rig.log.count("manage", "detect_status ok=");
    };

    for (int i = 0; i < 5; ++i) {
        RouterRig::call(*router, "detect_status");
    }
    EXPECT_EQ(lines(), 1);
    reply = {{"enabled", true}};
    RouterRig::call(*router, "detect_status");
    EXPECT_TRUE(rig.log.has("manage", "detect_status ok=true ms=0 quiet=4"));

    // Failures are logged every time; the next success is logged even when it repeats the last.
    failing = true;
    RouterRig::call(*router, "detect_status");
    RouterRig::call(*router, "detect_status");
    EXPECT_EQ(rig.log.count("manage", "detect_status ok=false"), 2);
    failing = false;
    RouterRig::call(*router, "detect_status");
    EXPECT_EQ(lines(), 5);
    RouterRig::call(*router, "detect_status");
    EXPECT_EQ(lines(), 5);
}

TEST(BridgeRouter, OnChangeReplyThatCannotBeWrittenCountsAsChanged) {
    RouterRig rig;
    auto routes = group();
    routes->answer("detect_status", BridgeReply::ok(std::string("bad \xff byte")))
        .mode("detect_status", BridgeLogMode::onChange);
    auto router = rig.make({routes});
    RouterRig::call(*router, "detect_status");
    RouterRig::call(*router, "detect_status");
    EXPECT_EQ(rig.log.count("manage", "detect_status ok=true"), 2);
}

TEST(BridgeRouter, SelfLoggedCallsWriteOnlyTheirFailures) {
    RouterRig rig;
    auto routes = group();
    routes->answer("ui_error", BridgeReply::ok(Json{{"count", 1}}))
        .answer("ui_error_bad", BridgeReply::requestFailed("x"))
        .mode("ui_error", BridgeLogMode::selfLogged)
        .mode("ui_error_bad", BridgeLogMode::selfLogged);
    auto router = rig.make({routes});
    RouterRig::call(*router, "ui_error");
    RouterRig::call(*router, "ui_error_bad");
    EXPECT_EQ(rig.log.messages("manage"), (std::vector<std::string>{"ui_error_bad 실패 reason=x",
                                                                    "ui_error_bad ok=false ms=0"}));
}

TEST(BridgeRouter, TimesEachCallFromItsOwnStart) {
    RouterRig rig;
    std::vector<Completion<void(BridgeReply)>> held;
    auto routes = group();
    routes->serve("slow", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        held.push_back(std::move(done));
    });
    auto router = rig.make({routes});
    std::vector<Json> results;
    router->respond("slow", {}, [&](Json r) { results.push_back(r); });
    rig.clock->advance(0.5);
    router->respond("slow", {}, [&](Json r) { results.push_back(r); });
    rig.clock->advance(0.4999);
    held[1](BridgeReply::ok("second"));
    held[0](BridgeReply::ok("first"));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["data"], "second");
    EXPECT_EQ(rig.log.messages("manage"),
              (std::vector<std::string>{"slow ok=true ms=499", "slow ok=true ms=999"}));
}

TEST(BridgeRouter, AnswersThatArriveOffTheMainExecutorAreHandedBack) {
    LogCapture log;
    auto main = std::make_shared<testing::ManualExecutor>();
    auto routes = group();
    routes->serve("elsewhere", [](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        std::thread([done = std::move(done)]() mutable { done(BridgeReply::ok(1)); }).join();
    });
    auto router = BridgeRouter::make({routes}, main->clock(), main);
    std::optional<Json> result;
    router->respond("elsewhere", {}, [&](Json r) { result = r; });
    EXPECT_FALSE(result);
    main->runAll();
    EXPECT_EQ(result, (Json{{"ok", true}, {"data", 1}}));
}

TEST(BridgeRouter, AHandlerThatThrowsStillAnswers) {
    RouterRig rig;
    auto routes = group();
    routes->serve("throws", [](const BridgeArgs& args, Completion<void(BridgeReply)>) {
        // A handler reading an argument with the wrong type.
        (void)args.any(0)->get<std::string>();
    });
    auto router = rig.make({routes});
    EXPECT_EQ(RouterRig::call(*router, "throws", {Json::array({1, 2})}), requestFailed);
    EXPECT_TRUE(rig.log.has("manage", "throws 실패 reason=handler_error"));
}

TEST(BridgeRouter, HandleWrapsResultsThatAreNotObjects) {
    RouterRig rig;
    auto routes = group();
    routes->answer("bare", BridgeReply::custom("text")).answer("obj", BridgeReply::ok(1));
    auto router = rig.make({routes});
    std::vector<Json> results;
    router->handle("bare", {}, [&](Json r) { results.push_back(r); });
    router->handle("obj", {}, [&](Json r) { results.push_back(r); });
    EXPECT_EQ(results[0], (Json{{"ok", true}, {"data", "text"}}));
    EXPECT_EQ(results[1], (Json{{"ok", true}, {"data", 1}}));
}

TEST(BridgeRouter, AReplyAfterTheRouterIsGoneStillReachesThePage) {
    LogCapture log;
    Completion<void(BridgeReply)> held;
    auto routes = group();
    routes->serve("slow", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        held = std::move(done);
    });
    auto router = BridgeRouter::make({routes});
    std::optional<Json> result;
    router->respond("slow", {}, [&](Json r) { result = r; });
    router.reset();
    held(BridgeReply::ok(5));
    EXPECT_EQ(result, (Json{{"ok", true}, {"data", 5}}));
}

}  // namespace
}  // namespace parlendo
