// The very first start on this computer: the notice of what the program reads and sends opens by
// itself, once, and the login window after it; the user signs up, confirms the address through
// the mail's link (which the desktop hands to a second `parlendo`), signs in, and later signs out.
#include "CaptureSteps.h"

#include <X11/keysym.h>

namespace parlendo::testing {
namespace {

class FirstStartScenario : public CaptureSteps {
  protected:
    static bool gone(const std::string& prefix, double seconds = 10) {
        return DesktopSession::pumpUntil(
            [&] { return !ProgramWindows::showingPart(prefix, 0).has_value(); }, seconds);
    }
};

TEST_F(FirstStartScenario, SignUpConfirmByLinkSignInAndSignOut) {
    const std::string email = ScriptedBackend::email;
    const std::string password = ScriptedBackend::password;
    backend.keepPopupCards();
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[notice] shown sha=")) << log();

    // The notice says what is read, and goes once it is read.
    const auto notice =
        ProgramWindows::showingPart("PARLENDO는 지금 읽고 있는 자료에 맞는 뜻을 보여 주기 위해");
    ASSERT_TRUE(notice.has_value()) << log();
    EXPECT_EQ(notice->title, "PARLENDO 안내");
    screenshot(notice->place, "notice");
    // One window at a time: the login window waits for the notice.
    EXPECT_TRUE(waitForLog("저장된 세션 없음")) << log();
    DesktopSession::pumpFor(1.0);
    EXPECT_EQ(ProgramWindows::all().size(), 1u) << log();
    ASSERT_TRUE(ProgramWindows::click(*notice, "button", "확인"));
    ASSERT_TRUE(gone("PARLENDO는 지금 읽고 있는 자료에")) << log();

    // No login is kept: the login window asks for one, the menu offers it.
    EXPECT_TRUE(waitForLog("저장된 세션 없음")) << log();
    const auto login = ProgramWindows::showingPart("계정이 없어요 → 회원가입");
    ASSERT_TRUE(login.has_value()) << log();
    screenshot(login->place, "login");
    panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();
    EXPECT_TRUE(menuShows("로그인 / 회원가입…")) << ::testing::PrintToString(panel->shown());

    // Sign up: the server keeps the account unconfirmed and sends the mail.
    ASSERT_TRUE(ProgramWindows::click(*login, "button", "계정이 없어요 → 회원가입"));
    const auto signUp = ProgramWindows::showing("가입하고 시작하기");
    ASSERT_TRUE(signUp.has_value()) << log();
    ASSERT_TRUE(ProgramWindows::type(*signUp, 0, email));
    ASSERT_TRUE(ProgramWindows::type(*signUp, 1, password));
    ASSERT_TRUE(ProgramWindows::type(*signUp, 2, "reader"));
    screenshot(signUp->place, "sign-up");
    ASSERT_TRUE(ProgramWindows::click(*signUp, "button", "가입하고 시작하기"));
    ASSERT_TRUE(backend.waitFor("POST", "/auth/v1/signup")) << log();
    const auto waiting =
        ProgramWindows::showingPart("가입은 됐어요. 메일에서 확인 링크를 누른 뒤 로그인하세요.");
    ASSERT_TRUE(waiting.has_value()) << log();
    screenshot(waiting->place, "signed-up");
    EXPECT_TRUE(backend.users.exists(email));

    // The mail's link, opened by the desktop: a second `parlendo` hands it to the first one.
    const auto link = backend.users.confirm(email);
    ASSERT_TRUE(link.has_value());
    const pid_t second = launch({*link});
    EXPECT_EQ(ProgramRun::wait(second, 15), 0);
    const auto confirmed = ProgramWindows::showingPart(
        "메일 인증이 끝났어요. 가입한 이메일과 비밀번호로 로그인해 주세요.");
    ASSERT_TRUE(confirmed.has_value()) << log();
    screenshot(confirmed->place, "confirmed");

    // Sign in: the menu names the account, the capture can be switched on.
    const auto signIn = ProgramWindows::showing("계정이 없어요 → 회원가입");
    ASSERT_TRUE(signIn.has_value()) << log();
    ASSERT_TRUE(ProgramWindows::type(*signIn, 0, email));
    ASSERT_TRUE(ProgramWindows::type(*signIn, 1, password));
    ASSERT_TRUE(ProgramWindows::click(*signIn, "button", "로그인"));
    ASSERT_TRUE(waitForLog("[account]")) << log();
    EXPECT_TRUE(menuShows(email + " — 로그아웃…", 15))
        << ::testing::PrintToString(panel->shown()) << log();
    EXPECT_TRUE(gone("계정이 없어요 → 회원가입")) << log();
    EXPECT_EQ(backend.users.username(email), "reader");

    // Sign out from the menu while working in another application, after the question: the
    // question, then the login window, come above that application with the keyboard.
    const auto editor = TestWindow::inFront({"--title", "편집기"});
    ASSERT_TRUE(panel->click(email + " — 로그아웃…", DesktopSession::serverTime()));
    const auto question = ProgramWindows::showingPart("로그아웃할까요?");
    ASSERT_TRUE(question.has_value()) << log();
    EXPECT_TRUE(DesktopSession::cameAbove(question->xid, editor->xid));
    screenshot(question->place, "sign-out-question");
    ASSERT_TRUE(ProgramWindows::click(*question, "button", "로그아웃"));
    ASSERT_TRUE(backend.waitFor("POST", "/auth/v1/logout")) << log();
    const auto signedOut = ProgramWindows::showing("계정이 없어요 → 회원가입");
    ASSERT_TRUE(signedOut.has_value()) << log();
    EXPECT_TRUE(DesktopSession::cameAbove(signedOut->xid, editor->xid))
        << "active=" << DesktopSession::activeWindow();
    EXPECT_TRUE(menuShows("로그인 / 회원가입…", 15)) << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing

namespace parlendo::testing {
namespace {

// A first start without the desktop's accessibility support: the notice, then the accessibility
// window, then the login window, each once the one before is answered.
TEST_F(FirstStartScenario, TheFirstStartsWindowsComeOneAtATime) {
    DesktopSession::setAccessibility(false);
    struct Restore {
        ~Restore() { DesktopSession::setAccessibility(true); }
    } restore;
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(waitForLog("[notice] shown sha=")) << log();
    const auto notice = ProgramWindows::showing("확인");
    ASSERT_TRUE(notice.has_value()) << log();
    EXPECT_EQ(notice->title, "PARLENDO 안내");
    EXPECT_TRUE(waitForLog("저장된 세션 없음")) << log();
    DesktopSession::pumpFor(1.0);
    EXPECT_EQ(ProgramWindows::all().size(), 1u) << log();
    screenshot(notice->place, "1-notice");
    ASSERT_TRUE(ProgramWindows::click(*notice, "button", "확인"));

    const auto permission = ProgramWindows::showing("접근성 권한이 필요해요");
    ASSERT_TRUE(permission.has_value()) << log();
    DesktopSession::pumpFor(0.5);
    EXPECT_EQ(ProgramWindows::all().size(), 1u) << log();
    screenshot(permission->place, "2-permission");
    ProgramWindows::close(*permission);

    const auto login = ProgramWindows::showing("계정이 없어요 → 회원가입");
    ASSERT_TRUE(login.has_value()) << log();
    EXPECT_EQ(ProgramWindows::all().size(), 1u) << log();
    DesktopSession::pumpFor(0.5);  // placed and drawn
    screenshotWindowsShowing("계정이 없어요 → 회원가입", "3-login");
    EXPECT_EQ(terminate(), 0) << log();
}

// The last day: the account is deleted from the manage window, with its password.
TEST_F(FirstStartScenario, TheAccountIsDeletedFromTheManageWindow) {
    const std::string email = ScriptedBackend::email;
    ASSERT_NO_FATAL_FAILURE(startReading());
    ASSERT_TRUE(panel->click("관리 창 열기")) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    ASSERT_TRUE(ProgramWindows::clickPage("계정", 20)) << ProgramWindows::pageText();
    ASSERT_TRUE(ProgramWindows::clickPage("계정 삭제…")) << ProgramWindows::pageText();
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [] { return ProgramWindows::pageText().find("계정을 삭제할까요?") != std::string::npos; }));
    // A wrong password first: the server refuses, the account stays.
    ProgramWindows::typeText("wrong password");
    ASSERT_TRUE(ProgramWindows::clickPage("되살릴 수 없다는 것을 이해했어요"));
    const GdkRectangle window = ProgramWindows::all().at(0).place;
    screenshot(window, "delete-account");
    ASSERT_TRUE(ProgramWindows::clickPage("계정 삭제"));
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/delete-account")) << log();
    DesktopSession::pumpFor(1);
    EXPECT_TRUE(backend.users.exists(email));
    screenshot(window, "wrong-password");
    // The right one: the account is gone, and the program is signed out.
    ASSERT_TRUE(ProgramWindows::clickPage("비밀번호"));
    ProgramWindows::pressKey(XK_a, true);
    ProgramWindows::typeText(ScriptedBackend::password);
    ASSERT_TRUE(ProgramWindows::clickPage("계정 삭제"));
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/delete-account", 2)) << log();
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return !backend.users.exists(email); }));
    EXPECT_TRUE(DesktopSession::pumpUntil([] {
        return ProgramWindows::pageText().find("계정을 삭제했어요.") != std::string::npos;
    })) << ProgramWindows::pageText();
    screenshot(window, "account-deleted");
    EXPECT_TRUE(menuShows("로그인 / 회원가입…", 15)) << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
