#include <gtest/gtest.h>

#include "CoordinatorRig.h"
#include "LogCapture.h"
#include "foundation/PlatformWords.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

constexpr const char* recoveryLink =
    "parlendo://auth-callback#access_token=x&refresh_token=link-token&type=recovery";

struct LinkRig : CoordinatorRig {
    LinkRig() {
        coordinator->start();
        endpoints->exchangeAnswer = testSession("u9", "link");
        profiles->name = "민지";
    }
    void open(const std::string& url) {
        coordinator->open(url);
        settle();
    }
};

TEST(AccountLinks, ConfirmationAndFailedLinksAndOtherHosts) {
    LogCapture logs;
    LinkRig rig;
    rig.open("parlendo://auth-callback#access_token=x&type=signup");
    EXPECT_EQ(rig.loginCalls(),
              std::vector<std::string>{
                  "show signIn 메일 인증이 끝났어요. 가입한 이메일과 비밀번호로 로그인해 주세요."});
    EXPECT_TRUE(logs.has("account", "link opened host=auth-callback kind=email_confirmed"));
    // Signed in, the same link shows nothing.
    rig.signIn("u1");
    rig.open("parlendo://auth-callback?type=email");
    EXPECT_EQ(rig.loginCalls().size(), 1u);

    rig.open("parlendo://auth-callback?error=access_denied&error_code=otp_expired");
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts.front().first, AccountAlert::linkFailed());
    rig.answer(0);
    // A recovery link without its token, or with two different ones, is refused the same way.
    rig.open("parlendo://auth-callback?type=recovery");
    rig.open("parlendo://auth-callback?type=recovery&refresh_token=a#refresh_token=b");
    EXPECT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.endpoints->exchanges.size(), 0u);

    rig.open("parlendo://elsewhere?type=signup");
    rig.open("parlendo://auth-callback?type=magiclink");
    rig.open("parlendo:%%%");
    EXPECT_TRUE(logs.has("account", "link opened host=elsewhere kind=ignored"));
    EXPECT_TRUE(logs.has("account", "link opened host=- kind=ignored"));
    EXPECT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.loginCalls().size(), 1u);
    EXPECT_TRUE(rig.auth->isLoggedIn());
}

TEST(AccountLinks, ARecoveryLinkIsAdoptedAfterAYesThenAsksForANewPassword) {
    LogCapture logs;
    LinkRig rig;
    rig.restore();
    rig.transport->answerRefresh(testSession("u9", "adopted"));
    rig.open(recoveryLink);
    EXPECT_TRUE(rig.coordinator->handlingLink());
    EXPECT_EQ(rig.endpoints->exchanges, std::vector<std::string>{"link-token"});
    ASSERT_EQ(rig.alerts.size(), 1u);
    const AccountAlert& question = rig.alerts.front().first;
    EXPECT_EQ(question.message, "비밀번호를 다시 정할까요?");
    EXPECT_TRUE(question.warning);
    EXPECT_EQ(PlatformWords::render(question.informative),
              "u9@example.com 의 비밀번호 재설정 링크예요.\n직접 요청한 메일이 아니면 [취소]를 "
              "눌러 주세요.");
    rig.answer(0);
    EXPECT_TRUE(rig.auth->isLoggedIn());
    EXPECT_EQ(rig.auth->userID(), "u9");
    EXPECT_TRUE(rig.detect->state().loggedIn);
    EXPECT_EQ(rig.loginCalls().back(), "hide");
    ASSERT_TRUE(rig.password);
    EXPECT_EQ(rig.password->shows, 1);
    EXPECT_FALSE(rig.coordinator->handlingLink());
    EXPECT_TRUE(logs.has("account", "recovery_link profile ready=true"));

    rig.password->onDone();
    rig.settle();
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts.front().first, AccountAlert::passwordChanged(true));
    EXPECT_TRUE(rig.notices.empty());
    rig.answer(0);
    EXPECT_EQ(rig.notices,
              std::vector<std::string>{"로그인됐어요 · ⌥ 두 번으로 감지를 켜세요 2.5"});
}

TEST(AccountLinks, ALinkForAnotherAccountSaysSoAndNoLeavesEverythingAsItWas) {
    LogCapture logs;
    LinkRig rig;
    rig.signIn("u1");
    rig.open(recoveryLink);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(PlatformWords::render(rig.alerts.front().first.informative),
              "u9@example.com 의 비밀번호 재설정 링크예요.\n\n지금은 u1@example.com(으)로 "
              "로그인돼 있어요. 계속하면 그 계정에서 로그아웃되고 u9@example.com(으)로 "
              "바뀝니다.\n직접 요청한 메일이 아니면 [취소]를 눌러 주세요.");
    // The revocation answers on the network thread; the link is done on the main thread only.
    rig.endpoints->revokeOn = rig.background;
    auto decline = std::move(rig.alerts.front().second);
    rig.alerts.pop_front();
    decline(1);
    rig.background->runAll();
    EXPECT_EQ(rig.endpoints->revokes, std::vector<std::string>{"access-link"});
    EXPECT_TRUE(rig.coordinator->handlingLink());
    rig.settle();
    EXPECT_TRUE(logs.has("account", "recovery_link declined replaces=true"));
    EXPECT_EQ(rig.auth->userID(), "u1");
    EXPECT_FALSE(rig.coordinator->handlingLink());
    EXPECT_EQ(rig.password, nullptr);

    // A token the server refuses: the login stays as it is.
    rig.endpoints->exchangeAnswer = fail(AuthFailure::confirmedInvalid());
    rig.open(recoveryLink);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts.front().first, AccountAlert::recoveryRefused());
    rig.answer(0);
    EXPECT_EQ(rig.auth->userID(), "u1");
    EXPECT_FALSE(rig.coordinator->handlingLink());
}

TEST(AccountLinks, OneRecoveryAtATimeAndNoLoginWindowMeanwhile) {
    LogCapture logs;
    LinkRig rig;
    rig.open(recoveryLink);
    ASSERT_EQ(rig.alerts.size(), 1u);
    rig.open(recoveryLink);
    EXPECT_EQ(rig.endpoints->exchanges.size(), 1u);
    EXPECT_EQ(rig.alerts.size(), 1u);
    // A restore that ends signed out does not open the login window over the link's question.
    rig.restore();
    EXPECT_TRUE(rig.loginCalls().empty());
    rig.answer(1);
    rig.open(recoveryLink);
    EXPECT_EQ(rig.endpoints->exchanges.size(), 2u);
}

TEST(AccountLinks, AFailedAdoptionOrAMissingNameIsTold) {
    LogCapture logs;
    LinkRig rig;
    rig.transport->answerRefresh(fail(AuthFailure::network()));
    rig.open(recoveryLink);
    rig.answer(0);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts.front().first, AccountAlert::adoptFailed());
    EXPECT_TRUE(rig.loginCalls().empty());
    rig.answer(0);
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show signIn"});
    EXPECT_FALSE(rig.auth->isLoggedIn());

    // Adopted, but the profile cannot be made: the final alert says the name is missing.
    rig.transport->answerRefresh(testSession("u9", "adopted"));
    rig.profiles->name.reset();
    rig.profiles->refused = {"u9"};
    rig.open(recoveryLink);
    rig.answer(0);
    EXPECT_TRUE(logs.has("account", "recovery_link profile ready=false"));
    rig.password->onDone();
    rig.settle();
    EXPECT_EQ(rig.alerts.front().first, AccountAlert::passwordChanged(false));
    rig.answer(0);
    EXPECT_TRUE(rig.notices.empty());
}

}  // namespace
}  // namespace parlendo
