#include "capture/DetectState.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

DetectState watching() {
    DetectState s;
    s.enabled = s.permissionGranted = s.loggedIn = true;
    return s;
}

TEST(DetectStateTest, BlockerNamesTheFirstMissingCondition) {
    DetectState s;
    EXPECT_FALSE(s.ready());
    EXPECT_FALSE(s.watching());
    EXPECT_TRUE(s.healthy);
    EXPECT_EQ(s.blocker(), "꺼짐");
    s.enabled = true;
    EXPECT_EQ(s.blocker(), "손쉬운 사용 권한 필요");
    s.permissionGranted = true;
    EXPECT_EQ(s.blocker(), "로그인 필요");
    s.loggedIn = true;
    EXPECT_TRUE(s.ready());
    EXPECT_TRUE(s.watching());
    EXPECT_EQ(s.blocker(), std::nullopt);
    s.healthy = false;
    EXPECT_FALSE(s.watching());
    EXPECT_EQ(s.blocker(), "워커 중단 — 앱을 다시 켜주세요");

    DetectState other = s;
    EXPECT_EQ(other, s);
    other.rejections.popups = 1;
    EXPECT_NE(other, s);
}

TEST(DetectStateTest, ManageStatusWithoutRejections) {
    auto s = watching();
    const auto status = s.manageStatus(321, std::nullopt);
    EXPECT_EQ(status, (Json{{"running", true},
                            {"owned", true},
                            {"requested", false},
                            {"pid", 321},
                            {"enabled", true},
                            {"watching", true},
                            {"ready", true},
                            {"healthy", true}}));

    const Json notice{{"title", "점검 중"}};
    const auto withNotice = s.manageStatus(321, notice);
    EXPECT_EQ(withNotice.size(), 9u);
    EXPECT_EQ(withNotice["server_notice"], notice);
}

TEST(DetectStateTest, ManageStatusReportsRejections) {
    DetectState s;
    s.rejections.notFetched = 2;
    s.rejections.popups = 1;
    EXPECT_EQ(s.rejections.total(), 3);
    const auto status = s.manageStatus(9, std::nullopt);
    EXPECT_EQ(status.size(), 11u);
    EXPECT_EQ(status["health_status"], "VERIFIED");
    EXPECT_EQ(status["instance"], DetectState::instance());
    EXPECT_EQ(status["health"],
              (Json{{"schema_version", 1},
                    {"instance", DetectState::instance()},
                    {"pid", 9},
                    {"rejections",
                     {{"capture", {{"CAPTURE_CAPACITY", 0}, {"COPY_IDENTITY_OR_DEADLINE", 2}}},
                      {"lookup", {{"LOOKUP_CAPACITY", 0}}},
                      {"save", {{"SAVE_CAPACITY", 0}, {"SAVE_ADMISSION_CLOSED_OR_FULL", 0}}},
                      {"display", {{"POPUP_CAPACITY", 1}, {"GUI_CAPACITY", 0}}}}}}));
}

TEST(DetectStateTest, InstanceIsFixedLowercaseHex) {
    const auto& instance = DetectState::instance();
    EXPECT_EQ(instance.size(), 32u);
    EXPECT_EQ(instance.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(&instance, &DetectState::instance());
}

}  // namespace
}  // namespace parlendo
