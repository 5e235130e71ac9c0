// Bad input at the edges a user reaches: a broken profile, a server that answers a web page or
// an endless answer instead of JSON. Each gets a visible, specific message and a log line, and
// the program keeps running where it can.
#include "CaptureSteps.h"
#include "KeyringLock.h"

#include <fstream>

namespace parlendo::testing {
namespace {

using BadInputScenario = CaptureSteps;

TEST_F(BadInputScenario, AProfileThatIsGarbageStopsTheStartWithItsReason) {
    std::ofstream(profileFile(), std::ios::trunc) << "\x01{ not json at all";
    const auto editor = TestWindow::inFront({"--title", "편집기"});
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[config] 🔴 프로필 거부 code=PUBLIC_PROFILE_UNREADABLE")) << log();
    // The alert names the reason; its one button ends the program with the configuration status.
    const auto alert = ProgramWindows::showingPart(
        "PARLENDO 를 시작할 수 없어요. (사유: PUBLIC_PROFILE_UNREADABLE)");
    ASSERT_TRUE(alert.has_value()) << log();
    EXPECT_TRUE(alert->shows("설정을 읽지 못했어요"));
    screenshot(alert->place, "profile-alert");
    // It answers the start above the application in front, and stays beneath the window the
    // user goes to next.
    EXPECT_TRUE(DesktopSession::cameAbove(alert->xid, editor->xid));
    ASSERT_TRUE(DesktopSession::activate(editor->xid));
    EXPECT_TRUE(DesktopSession::pumpUntil(
        [&] { return DesktopSession::stackedAbove(editor->xid, alert->xid); }));
    EXPECT_EQ(logCount("[app] 시작"), 0u);
    EXPECT_TRUE(ProgramWindows::click(*alert, "button", "확인"));
    EXPECT_EQ(ProgramRun::wait(pid, 10), 78);

    // A connect-to override that curl would misread stops the start the same way.
    std::ofstream(profileFile(), std::ios::trunc) << "{}";
    ASSERT_GT(launch({}, {{"PARLENDO_PROFILE", ""}, {"PARLENDO_CONNECT_TO", "127.0.0.1 443"}}), 0);
    ASSERT_TRUE(waitForLog("[config] 🔴 프로필 거부 code=DEVELOPER_CONNECTION_INVALID")) << log();
    const auto second = ProgramWindows::showingPart(
        "PARLENDO 를 시작할 수 없어요. (사유: DEVELOPER_CONNECTION_INVALID)");
    ASSERT_TRUE(second.has_value()) << log();
    EXPECT_TRUE(ProgramWindows::click(*second, "button", "확인"));
    EXPECT_EQ(ProgramRun::wait(pid, 10), 78);
}

TEST_F(BadInputScenario, AServerThatAnswersAWebPageOrTooMuch) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("Proxy page — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    const std::string failed = "조회하지 못했어요 (서버 연결 확인)";

    // A captive portal's page instead of the dictionary's JSON.
    backend.interpose(
        "POST", "/rest/v1/rpc/dict_lookup",
        StubAnswer::json(200, "<html><body><h1>Sign in to the Wi-Fi</h1></body></html>",
                         {{"Content-Type", "text/html"}}),
        1);
    lookupChord();
    ASSERT_EQ(cardsShowing(failed, 2).size(), 2u) << log();
    screenshotWindowsShowing(failed, "web-page");
    EXPECT_TRUE(waitForLog("[lookup] 응답 형식 불일치 word=")) << log();
    ASSERT_TRUE(cardsGone()) << log();

    // Ten megabytes where a few hundred bytes belong: cut off at the answer limit.
    backend.interpose("POST", "/rest/v1/rpc/dict_lookup",
                      StubAnswer::generated(size_t{10} << 20, true), 1);
    lookupChord();
    ASSERT_EQ(cardsShowing(failed, 2).size(), 2u) << log();
    EXPECT_TRUE(waitForLog("[net] path=/rest/v1/rpc/dict_lookup 답이 8388608바이트를 넘어 끊음"))
        << log();
    EXPECT_LT(backend.stub.generatedBytesSent(), size_t{10} << 20);
    ASSERT_TRUE(cardsGone()) << log();

    // Nothing was saved from either, and the next answer is read as usual.
    EXPECT_TRUE(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").empty());
    lookupChord();
    EXPECT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    EXPECT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(BadInputScenario, AKeychainThatRefusesToKeepTheLogin) {
    KeyringLock keyring;
    ASSERT_TRUE(keyring.found()) << "needs the Secret Service of scripts/with-session.sh";
    backend.keepPopupCards();
    ASSERT_NO_FATAL_FAILURE(keepSignedIn());
    ASSERT_NO_FATAL_FAILURE(noticeRead());
    // The refreshed login comes back a moment late; meanwhile the keyring gets locked, so that
    // the program can read the old login but cannot keep the new one.
    StubAnswer late;
    late.delay = 2;
    late.headers = {{"Content-Type", "application/json"}};
    late.makeBody = [this](const StubRequest& request) {
        auto answer = backend.users.handle(request);
        return answer ? answer->body : std::string("{}");
    };
    backend.interpose("POST", "/auth/v1/token", late, 1);
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(backend.waitFor("POST", "/auth/v1/token")) << log();
    ASSERT_TRUE(keyring.lock());
    ASSERT_TRUE(waitForLog("[keychain] 🔴 로그인 값 저장 실패 where=")) << log();
    ASSERT_TRUE(waitSignedIn()) << log();
    panel = menu();
    ASSERT_TRUE(panel.has_value());
    EXPECT_TRUE(menuShows("⚠️ 로그인 정보가 이 컴퓨터에 저장되지 않았어요"))
        << ::testing::PrintToString(panel->shown());
    // Signed in for this run all the same: captures go on.
    auto reader = readerWindow("Locked keyring — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    lookupChord();
    EXPECT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    ASSERT_TRUE(keyring.unlock());
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
