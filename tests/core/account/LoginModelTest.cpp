#include <gtest/gtest.h>

#include "AccountRig.h"
#include "LogCapture.h"
#include "ScriptedAccount.h"
#include "account/LoginModel.h"
#include "auth/AuthCode.h"
#include "foundation/PlatformWords.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;
using Mode = LoginModel::Mode;

struct LoginRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ScriptedAccount> account = std::make_shared<ScriptedAccount>();
    std::shared_ptr<MemoryProfiles> profiles = std::make_shared<MemoryProfiles>();
    int loggedIn = 0;
    int retries = 0;
    std::vector<std::string> effects;
    std::shared_ptr<LoginModel> model =
        LoginModel::make({account, profiles, [this] { ++loggedIn; }, [this] { ++retries; }, main});

    LoginRig() {
        model->view.clearPassword = [this] {
            effects.push_back("clear_password");
        };
        model->view.clearUsername = [this] {
            effects.push_back("clear_username");
        };
        model->view.close = [this] {
            effects.push_back("close");
        };
        model->view.focusEmail = [this] {
            effects.push_back("focus_email");
        };
        model->show(Mode::signIn, std::nullopt);
    }
    void submit(const std::string& email, const std::string& password,
                const std::string& username = "") {
        model->submit(email, password, username);
        main->runAll();
    }
    LoginModel::Message error(const std::string& text) const { return {text, true}; }
};

TEST(LoginModel, ModesShowTheirControlsAndKeepWhatIsTyped) {
    EXPECT_EQ(LoginModel::layout(Mode::signIn),
              (LoginModel::Layout{"로그인", "계정이 없어요 → 회원가입", true, false, true, false}));
    EXPECT_EQ(LoginModel::layout(Mode::signUp),
              (LoginModel::Layout{"가입하고 시작하기", "이미 계정이 있어요 → 로그인", true, true,
                                  false, false}));
    EXPECT_EQ(LoginModel::layout(Mode::offline),
              (LoginModel::Layout{"로그인", "다른 계정으로 로그인", false, false, false, true}));

    LoginRig rig;
    // The offline mode always shows its own text; other modes the notice, if any.
    rig.model->show(Mode::offline, std::string("무시됨"));
    EXPECT_EQ(rig.model->message(), (LoginModel::Message{LoginModel::offlineText, false}));
    rig.model->switchMode();
    EXPECT_EQ(rig.model->mode(), Mode::signIn);
    EXPECT_EQ(rig.model->message(), LoginModel::Message{});
    rig.model->switchMode();
    EXPECT_EQ(rig.model->mode(), Mode::signUp);
    rig.model->switchMode();
    EXPECT_EQ(rig.model->mode(), Mode::signIn);
    EXPECT_EQ(rig.effects, std::vector<std::string>(3, "focus_email"));
    rig.model->show(Mode::signUp, std::string("알림"));
    EXPECT_EQ(rig.model->message(), (LoginModel::Message{"알림", false}));

    // A background restore closes only a visible offline window.
    EXPECT_FALSE(rig.model->restored(true));
    rig.model->show(Mode::offline, std::nullopt);
    EXPECT_FALSE(rig.model->restored(false));
    EXPECT_EQ(rig.model->mode(), Mode::offline);
    EXPECT_TRUE(rig.model->restored(true));
    EXPECT_EQ(rig.model->mode(), Mode::signIn);
}

TEST(LoginModel, WhatIsTypedIsCheckedBeforeAnyRequest) {
    LogCapture logs;
    LoginRig rig;
    rig.submit("  mina.example.com ", "pw");
    EXPECT_EQ(rig.model->message(), rig.error(LoginModel::missingCredentials));
    rig.submit("mina@example.com", "");
    EXPECT_EQ(rig.model->message(), rig.error(LoginModel::missingCredentials));
    rig.model->show(Mode::signUp, std::nullopt);
    rig.submit("mina@example.com", "pw", " \t ");
    EXPECT_EQ(rig.model->message(), rig.error(LoginModel::missingUsername));
    EXPECT_TRUE(rig.account->asked.empty());
    // Every error shown is logged, redacted.
    EXPECT_EQ(logs.messages("login_ui").back(),
              "사용자에게 보인 오류 " + Log::redact(std::string(LoginModel::missingUsername)));

    // In sign-in mode the name is ignored; the address loses its spaces and tabs, the password
    // goes as typed.
    rig.model->show(Mode::signIn, std::nullopt);
    rig.profiles->name = "민지";
    rig.submit(" \tmina@example.com  ", " pass word ", "ignored");
    EXPECT_EQ(rig.account->asked, std::vector<std::string>{"sign_in mina@example.com| pass word "});
    EXPECT_EQ(rig.loggedIn, 1);
    EXPECT_EQ(rig.effects, (std::vector<std::string>{"clear_password", "close"}));
}

TEST(LoginModel, UnusualTextTravelsUnchanged) {
    LogCapture logs;
    LoginRig rig;
    rig.account->signInAnswer = fail(AccountError(std::nullopt, AuthCode::loginFailed));
    const std::string controls = std::string("a\x01\x7f@b\x1b.c");
    const std::string longText = std::string(10'000, 'x') + "@example.com";
    const std::string korean = "민지🙂@예시.한국";
    const std::string password = "비번🔑\x02" + std::string(10'000, 'p');
    for (const auto& email : {controls, longText, korean}) {
        rig.submit(email, password);
        EXPECT_EQ(rig.account->asked.back(), "sign_in " + email + "|" + password);
        EXPECT_EQ(rig.model->message().error, true);
        EXPECT_FALSE(rig.model->busy());
    }
    EXPECT_EQ(logs.all().find("pppp"), std::string::npos);
    EXPECT_EQ(logs.all().find("민지"), std::string::npos);
}

TEST(LoginModel, SignInFailuresAndTheResendOfTheConfirmationMail) {
    LoginRig rig;
    rig.account->signInAnswer = fail(AccountError(std::nullopt, AuthCode::emailNotConfirmed));
    rig.submit("mina@example.com", "pw");
    EXPECT_TRUE(rig.model->resendShown());
    EXPECT_TRUE(rig.model->message().error);
    // The mail goes to the address that was submitted, whatever the field holds now.
    rig.account->hold = true;
    rig.model->resend();
    EXPECT_TRUE(rig.model->busy());
    rig.model->resend();
    rig.model->submit("other@example.com", "pw", "");
    rig.account->release();
    rig.main->runAll();
    EXPECT_EQ(rig.account->asked.back(), "resend mina@example.com");
    EXPECT_EQ(rig.account->asked.size(), 2u);
    EXPECT_EQ(rig.model->message(), (LoginModel::Message{LoginModel::resent, false}));
    EXPECT_FALSE(rig.model->busy());
    rig.account->hold = false;
    rig.account->resendAnswer = fail(AccountError(std::nullopt, AuthCode::emailRateLimit));
    rig.model->resend();
    rig.main->runAll();
    EXPECT_EQ(rig.model->message(), rig.error(*AuthCode::text(AuthCode::emailRateLimit)));

    // A profile that cannot be read, then one that cannot be made.
    rig.account->signInAnswer = std::string("u1");
    rig.profiles->readFailure = CallFailure::timeout();
    rig.submit("mina@example.com", "pw");
    EXPECT_EQ(rig.model->message().text.rfind(LoginModel::profileUnchecked, 0), 0u);
    EXPECT_FALSE(rig.model->busy());
    rig.profiles->readFailure.reset();
    rig.profiles->refused = {"mina"};
    rig.submit("mina@example.com", "pw");
    EXPECT_EQ(rig.model->message(), rig.error(LoginModel::profileMissing));
    EXPECT_EQ(rig.loggedIn, 0);
    EXPECT_TRUE(rig.effects.empty());
}

TEST(LoginModel, SignUpEndsConfirmedWaitingOrBackInSignIn) {
    LoginRig rig;
    rig.model->show(Mode::signUp, std::nullopt);
    rig.account->signUpAnswer = SignUpOutcome::needsEmailConfirmation();
    rig.submit("mina@example.com", "pw", " 민지 ");
    EXPECT_EQ(rig.account->asked.back(), "sign_up mina@example.com|pw|민지");
    EXPECT_EQ(rig.model->mode(), Mode::signUp);
    EXPECT_TRUE(rig.model->resendShown());
    EXPECT_EQ(rig.model->message(),
              (LoginModel::Message{AccountSession::needsConfirmationMessage, false}));
    EXPECT_EQ(rig.effects, (std::vector<std::string>{"clear_password", "clear_username"}));

    rig.account->signUpAnswer = fail(AccountError(std::nullopt, AuthCode::signupEmailExists));
    rig.submit("mina@example.com", "pw", "민지");
    EXPECT_EQ(rig.model->mode(), Mode::signIn);
    EXPECT_EQ(rig.model->message(), rig.error(*AuthCode::text(AuthCode::signupEmailExists)));
    EXPECT_FALSE(rig.model->resendShown());

    rig.model->show(Mode::signUp, std::nullopt);
    rig.account->signUpAnswer = SignUpOutcome::signedIn("u2");
    rig.submit("mina@example.com", "pw", "민지");
    EXPECT_EQ(rig.profiles->ensured, std::vector<std::string>{"민지"});
    EXPECT_EQ(rig.loggedIn, 1);
}

TEST(LoginModel, ForgottenPasswordAndTheOfflineRetry) {
    LoginRig rig;
    rig.model->forgotPassword("  ");
    EXPECT_EQ(rig.model->message(), rig.error(LoginModel::missingResetEmail));
    rig.model->forgotPassword(" Mac.mina@example.com\t");
    rig.main->runAll();
    EXPECT_EQ(rig.account->asked, std::vector<std::string>{"reset Mac.mina@example.com"});
    // The address is shown as it was typed, whatever words of the Mac it holds.
    EXPECT_FALSE(rig.model->message().error);
    EXPECT_EQ(PlatformWords::render(rig.model->message().text),
              "Mac.mina@example.com 로 재설정 메일을 보냈어요.\n메일의 링크를 누르면 이 앱에서 새 "
              "비밀번호를 정할 수 있어요.");

    rig.model->show(Mode::offline, std::nullopt);
    rig.model->retry();
    rig.model->retry();
    EXPECT_EQ(rig.retries, 1);
    EXPECT_EQ(rig.model->message(), (LoginModel::Message{LoginModel::reconnecting, false}));
    rig.clock->advance(0.4);
    EXPECT_TRUE(rig.model->busy());
    rig.clock->advance(0.1);
    EXPECT_FALSE(rig.model->busy());
    rig.model->retry();
    EXPECT_EQ(rig.retries, 2);

    // A model that is gone is not called back.
    rig.account->hold = true;
    rig.model->show(Mode::signIn, std::nullopt);
    rig.clock->advance(1);
    rig.model->submit("mina@example.com", "pw", "");
    rig.model.reset();
    rig.account->release();
    rig.main->runAll();
    EXPECT_EQ(rig.loggedIn, 0);
}

}  // namespace
}  // namespace parlendo
