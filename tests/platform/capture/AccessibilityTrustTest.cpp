// The accessibility permission as the program reads it from the desktop, on a session bus of the
// test's own: the toolkit switch and its change notices, and an accessibility bus that ends under
// the running program.
#include "CaptureDeskTest.h"
#include "capture/AccessibilityTrust.h"

#include <gtest/gtest.h>

namespace parlendo::testing {
namespace {

using AccessibilityTrustTest = CaptureDeskTest;

TEST_F(AccessibilityTrustTest, TrustFollowsTheToolkitSwitchAndHandsOnItsNotices) {
    if (DesktopSession::rerunOnOwnSessionBus()) {
        return;
    }
    auto trust = AccessibilityTrust::make(true);
    int notices = 0;
    trust->onSystemNotice = [&notices] {
        ++notices;
    };
    trust->start();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return trust->trusted(); }));
    // Without XInput 2 and XTest nothing can be read, whatever the bus says.
    auto withoutInput = AccessibilityTrust::make(false);
    bool read = false;
    withoutInput->start();
    withoutInput->refresh([&read] { read = true; });
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return read; }));
    EXPECT_FALSE(withoutInput->trusted());

    // The user switches accessibility off in the desktop's settings, and on again.
    DesktopSession::setAccessibility(false);
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return !trust->trusted(); }));
    EXPECT_GE(notices, 1);
    const int seen = notices;
    DesktopSession::setAccessibility(true);
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return trust->trusted(); }));
    EXPECT_GT(notices, seen);
    EXPECT_FALSE(trust->busReplaced());
}

TEST_F(AccessibilityTrustTest, ABusThatEndsUnderTheProgramStopsDetectionAndSaysSo) {
    if (DesktopSession::rerunOnOwnSessionBus()) {
        return;
    }
    startDesk();
    auto& capture = *desk->capture;
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return capture.accessibility->connected(); }, 10));
    const auto menu = desk->coordinator->menu();
    desk->coordinator->refreshMenu();
    ASSERT_EQ(menu.status[0]->title, "● 감지 중 — 글을 선택하고 Alt+Ctrl을 같이 누르세요");

    // The accessibility bus's daemon ends. The desktop starts another at the next request, with
    // accessibility on as the user left it: the trust reads true as before, while the program's
    // listeners, like every application's connection, ended with the old bus.
    ASSERT_TRUE(DesktopSession::endAccessibilityBus());
    DesktopSession::setAccessibility(true);
    bool read = false;
    capture.trust->refresh([&read] { read = true; });
    ASSERT_TRUE(
        DesktopSession::pumpUntil([&] { return read && capture.accessibility->closed(); }, 10));
    EXPECT_TRUE(capture.trust->trusted());
    EXPECT_TRUE(capture.trust->busReplaced());
    EXPECT_TRUE(
        log.has("capture", "🔴 접근성 버스 연결이 끊김 — 버스가 끝나 듣던 것이 모두 사라짐"));

    // The next look at the permission (the menu opening, or the periodic check) stops detection.
    desk->coordinator->refreshMenu();
    EXPECT_FALSE(desk->env->detect->state().healthy) << "detection still claims to watch";
    EXPECT_TRUE(log.has("permission",
                        "🔴 접근성 버스가 끝나 듣던 연결이 끊김 source=menu — "
                        "감지를 멈추고 앱을 다시 켜라고 안내한다"))
        << log.all();
    EXPECT_EQ(menu.status[0]->title,
              "⚠️ 감지를 켰지만 멈춰 있어요: 워커 중단 — 앱을 다시 "
              "켜주세요");
    EXPECT_FALSE(desk->env->detect->state().watching());
}

}  // namespace
}  // namespace parlendo::testing
