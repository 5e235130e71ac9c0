#include "capture/DetectRoutes.h"

#include "LogCapture.h"
#include "capture/DetectStore.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

struct DetectRoutesTest : ::testing::Test {
    DetectRoutesTest() {
        store->addObserver([this](const DetectState& now, const DetectState& before) {
            calls.emplace_back(now, before);
        });
    }

    // Calls one route with no arguments; the handlers answer at once.
    Json call(const DetectRoutes& group, const std::string& name) {
        auto table = group.routes();
        auto it = table.find(name);
        EXPECT_NE(it, table.end()) << name;
        EXPECT_TRUE(it->second.isImplemented());
        std::optional<BridgeReply> reply;
        it->second.handler()(BridgeArgs(std::vector<Json>{Json(1), Json("x")}),
                             [&](BridgeReply r) { reply = std::move(r); });
        EXPECT_TRUE(reply.has_value());
        const auto* ok = reply ? reply->as<BridgeReply::Ok>() : nullptr;
        EXPECT_NE(ok, nullptr);
        return ok ? ok->value : Json();
    }

    DetectRoutes routes(std::optional<Json> notice = std::nullopt) {
        return DetectRoutes(store->control(), 321, [notice] { return notice; });
    }

    std::shared_ptr<DetectStore> store = std::make_shared<DetectStore>();
    std::vector<std::pair<DetectState, DetectState>> calls;
    testing::LogCapture log;
};

TEST_F(DetectRoutesTest, TableAndLogModes) {
    const auto group = routes();
    const auto table = group.routes();
    EXPECT_EQ(table.size(), 3u);
    EXPECT_TRUE(table.count("detect_status") && table.count("detect_start") &&
                table.count("detect_stop"));
    EXPECT_EQ(group.logModes(),
              (std::map<std::string, BridgeLogMode>{{"detect_status", BridgeLogMode::onChange}}));
}

TEST_F(DetectRoutesTest, StatusCarriesTheServerNoticeButSwitchesDoNot) {
    const Json notice{{"title", "점검 중"}, {"body", "잠시 뒤 다시"}};
    const auto group = routes(notice);
    const Json status = call(group, "detect_status");
    EXPECT_EQ(status["pid"], 321);
    EXPECT_EQ(status["server_notice"], notice);
    EXPECT_EQ(status.size(), 9u);
    EXPECT_FALSE(call(group, "detect_stop").contains("server_notice"));
    EXPECT_EQ(call(routes(), "detect_status").size(), 8u);
}

TEST_F(DetectRoutesTest, StartWithoutLoginIsRefusedQuietly) {
    store->write([](DetectState& s) { s.permissionGranted = true; });
    calls.clear();
    const Json reply = call(routes(), "detect_start");
    EXPECT_EQ(reply["enabled"], false);
    EXPECT_EQ(reply["ready"], false);
    EXPECT_EQ(reply["watching"], false);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(log.messages("detect").empty());
}

TEST_F(DetectRoutesTest, SwitchesWhenReadyAndRepeatsAreStillTold) {
    store->write([](DetectState& s) {
        s.permissionGranted = true;
        s.loggedIn = true;
    });
    calls.clear();
    const auto group = routes();
    Json reply = call(group, "detect_start");
    EXPECT_EQ(reply["enabled"], true);
    EXPECT_EQ(reply["watching"], true);
    reply = call(group, "detect_start");
    EXPECT_EQ(reply["enabled"], true);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[1].first.enabled && calls[1].second.enabled);
    reply = call(group, "detect_stop");
    EXPECT_EQ(reply["enabled"], false);
    EXPECT_EQ(log.messages("detect"),
              (std::vector<std::string>{"enabled=true source=manage", "enabled=true source=manage",
                                        "enabled=false source=manage"}));
}

TEST_F(DetectRoutesTest, RejectionsAddTheHealthReport) {
    store->write([](DetectState& s) { s.rejections.popups += 2; });
    const Json status = call(routes(), "detect_status");
    EXPECT_EQ(status["health_status"], "VERIFIED");
    EXPECT_EQ(status["health"]["pid"], 321);
    EXPECT_EQ(status["health"]["rejections"]["display"]["POPUP_CAPACITY"], 2);
}

TEST_F(DetectRoutesTest, StoreGoneAnswersTheInitialState) {
    const auto group = routes();
    store.reset();
    const Json status = call(group, "detect_start");
    EXPECT_EQ(status["enabled"], false);
    EXPECT_EQ(status["healthy"], true);
    EXPECT_EQ(status["ready"], false);
}

}  // namespace
}  // namespace parlendo
