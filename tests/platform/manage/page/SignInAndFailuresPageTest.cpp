#include <gtest/gtest.h>

#include "PageRig.h"
#include "manage/MacOverlay.h"

namespace parlendo {
namespace {

using testing::PageRig;

TEST(SignInPage, SignsInAfterAWrongPasswordAndSignsUpIntoTheConfirmationMail) {
    PageRig rig(PageRig::Options{.signedIn = false});
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.auth-form')"));
    EXPECT_FALSE(rig.js("state.ready")->get<bool>());
    EXPECT_EQ(rig.calls("login"), 1);
    rig.snapshotBoth("sign-in");

    ASSERT_TRUE(rig.type(".auth-form input[name=email]", "minji@example.com"));
    ASSERT_TRUE(rig.type(".auth-form input[name=password]", "wrong"));
    ASSERT_TRUE(rig.click(".auth-form button[type=submit]"));
    ASSERT_TRUE(rig.waitFor("!document.querySelector('.auth-form .auth-message.error').hidden"));
    EXPECT_EQ(rig.text(".auth-form .auth-message.error"), "이메일 또는 비밀번호가 맞지 않아요.");
    EXPECT_EQ(rig.lastArgs("sign_in"), Json::array({"minji@example.com", "wrong"}));

    ASSERT_TRUE(rig.type(".auth-form input[name=password]", "right"));
    ASSERT_TRUE(rig.click(".auth-form button[type=submit]"));
    ASSERT_TRUE(rig.waitFor("state.ready === true && !!document.querySelector('.tree-row')"));
    EXPECT_EQ(rig.text(".user-name"), "민지");

    // Signing out from the menu returns to the sign-in screen.
    ASSERT_TRUE(rig.click(".user-button"));
    ASSERT_TRUE(rig.click(".menu [data-menu='sign-out']"));
    ASSERT_TRUE(rig.click("[role=dialog] button[data-action='confirm']"));
    ASSERT_TRUE(rig.waitFor("state.ready === false && !!document.querySelector('.auth-form')"));
    EXPECT_EQ(rig.calls("sign_out"), 1);
    EXPECT_EQ(rig.account->signOuts, 1);
    EXPECT_EQ(rig.text(".auth-message"), "로그아웃했어요.");

    // A sign-up that waits for its mail link, and the mail sent again.
    ASSERT_TRUE(rig.click(".auth-switch button"));
    ASSERT_TRUE(rig.type(".auth-form input[name=email]", "confirm@example.com"));
    ASSERT_TRUE(rig.type(".auth-form input[name=password]", "long enough words 12"));
    ASSERT_TRUE(rig.type(".auth-form input[name=username]", "민지"));
    rig.snapshotBoth("sign-up");
    ASSERT_TRUE(rig.click(".auth-form button[type=submit]"));
    ASSERT_TRUE(rig.waitFor(
        "document.querySelector('#auth-title').textContent === '메일을 확인해 주세요'"));
    EXPECT_EQ(rig.lastArgs("sign_up"),
              Json::array({"confirm@example.com", "long enough words 12", "민지"}));
    ASSERT_TRUE(rig.click(".auth-actions button:not(.primary)"));
    EXPECT_EQ(rig.lastArgs("resend_confirmation"), Json::array({"confirm@example.com"}));
    EXPECT_NE(rig.text(".auth-message.success").find("다시 보냈어요"), std::string::npos);
    rig.snapshotBoth("confirm-mail");
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(SignInPage, ASignOutElsewhereTakesThePageToSignInAndASignInBringsItBack) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.waitFor("state.ready === true"));
    // The app pushes the sign-in changes it did not start into the page.
    rig.session->setUser(std::nullopt);
    rig.detect->write([](DetectState& state) { state.loggedIn = false; });
    ASSERT_TRUE(rig.waitFor("state.ready === false"));
    EXPECT_NE(rig.text(".auth-message").find("로그아웃되었습니다"), std::string::npos);
    rig.session->setUser("user-1");
    rig.detect->write([](DetectState& state) { state.loggedIn = true; });
    ASSERT_TRUE(rig.waitFor("state.ready === true"));
    EXPECT_EQ(rig.calls("login"), 2);
}

TEST(FailuresOnThePage, ANetworkFailureShowsItsReasonAndARetryThatWorks) {
    PageRig rig;
    const std::string source = rig.library->addSource("Offline", std::nullopt);
    rig.library->addWord("quiet", source, "조용한");
    bool offline = true;
    rig.intercept =
        [&](const testing::FakeServerCalling::Call& call) -> std::optional<DetailedCallResult> {
        if (offline && call.path.rfind("/rest/v1/words", 0) == 0) {
            return fail(CallFailureDetail(CallFailure::unavailable()));
        }
        return std::nullopt;
    };
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.words-pane .error-state')"));
    EXPECT_NE(rig.text(".words-pane .error-state").find("인터넷 연결을 확인"), std::string::npos);
    rig.snapshot("network-failure");
    offline = false;
    ASSERT_TRUE(rig.click(".words-pane .error-state button"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 1"));
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(FailuresOnThePage, AnUnconfirmedWriteSaysSoAndShowsTheServersTruth) {
    PageRig rig;
    const std::string folder = rig.library->addFolder("폴더", std::nullopt);
    rig.intercept =
        [&](const testing::FakeServerCalling::Call& call) -> std::optional<DetailedCallResult> {
        if (call.method == "PATCH" && call.path.rfind("/rest/v1/folders", 0) == 0) {
            return fail(CallFailureDetail(CallFailure::timeout()));
        }
        return std::nullopt;
    };
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + folder + "']"));
    rig.key("F2");
    ASSERT_TRUE(rig.type("[role=dialog] input", "새 이름"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(
        rig.waitFor("!!document.querySelector('[role=dialog] .dialog-error:not([hidden])')"));
    EXPECT_NE(rig.text("[role=dialog] .dialog-error").find("저장됐는지 알 수 없어요"),
              std::string::npos);
    rig.snapshot("save-not-confirmed");
    EXPECT_EQ(rig.text(".tree-row[data-scope='" + folder + "'] .row-name"), "폴더");
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(FailuresOnThePage, AStaleReplyIsDroppedWithANoticeAndThePageReloads) {
    PageRig rig;
    const std::string folder = rig.library->addFolder("폴더", std::nullopt);
    ASSERT_TRUE(rig.open());
    const int trees = rig.calls("load_tree");
    rig.server->hold(true);
    ASSERT_TRUE(
        rig.js("document.querySelector(\".tree-row[data-scope='" + folder + "']\").click(), true"));
    ASSERT_TRUE(rig.until([&] { return rig.server->heldCount() > 0; }));
    rig.server->hold(false);
    // The answer belonged to the account before a switch.
    ASSERT_TRUE(rig.server->releaseNext(fail(CallFailureDetail(CallFailure::stale()))));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.toasts').textContent.includes('계정이 바뀌어')"));
    ASSERT_TRUE(rig.until([&] { return rig.calls("load_tree") > trees; }));
    rig.idle();
    EXPECT_TRUE(rig.js("state.ready")->get<bool>());
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(FailuresOnThePage, ASignInNeededOnAnyCallTakesThePageToSignIn) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    rig.session->setUser(std::nullopt);
    ASSERT_TRUE(rig.click(".rail-item[data-screen='trash']"));
    ASSERT_TRUE(rig.waitFor("state.ready === false && !!document.querySelector('.auth-form')"));
    EXPECT_EQ(rig.text(".auth-message"), "로그인이 필요해요. 다시 로그인해 주세요.");
}

TEST(FailuresOnThePage, MarkupLongKoreanAndEmojiNamesAreShownAsText) {
    PageRig rig;
    std::string longName;
    for (int i = 0; i < 40; ++i) {
        longName += "아주 긴 한국어 이름 😀👍🏽 ";
    }
    const std::string markup = "<img src=x onerror=\"window.hacked=1\"><b>굵게</b>";
    const std::string folder = rig.library->addFolder(markup, std::nullopt);
    const std::string source = rig.library->addSource(longName, folder);
    rig.library->addWord(markup, source, longName);
    rig.library->addWord("", source, "");
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + folder + "']"));
    ASSERT_TRUE(rig.click(".source-row"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 2"));
    ASSERT_TRUE(rig.click(".word-row"));
    EXPECT_EQ(rig.text(".tree-row[data-scope='" + folder + "'] .row-name"), markup);
    EXPECT_EQ(rig.count("#frame img, #frame b"), 0);
    EXPECT_FALSE(rig.js("window.hacked === 1")->get<bool>());
    rig.snapshot("odd-names");
    for (const char* screen : {"popups", "projects", "trash", "detect", "settings", "account"}) {
        ASSERT_TRUE(rig.click(std::string(".rail-item[data-screen='") + screen + "']"));
    }
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(FailuresOnThePage, ThePagesOwnScriptErrorsAreReportedToTheApp) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    rig.js(
        "setTimeout(function(){throw new Error('boom');},0);"
        "setTimeout(function(){Promise.reject(new Error('no'));},0);true");
    ASSERT_TRUE(rig.until([&] { return rig.calls("ui_error") == 2; }));
    std::vector<Json> kinds;
    for (const auto& [name, args] : rig.calls()) {
        if (name == "ui_error") {
            kinds.push_back(args);
        }
    }
    EXPECT_EQ(kinds, (std::vector<Json>{Json::array({"error"}), Json::array({"rejection"})}));
    EXPECT_TRUE(rig.log.contains("manage", "ui_js_error where=js.rejection count=2"));
}

TEST(FailuresOnThePage, TheCloseGuardLearnsOfUnsavedEditsFromThePage) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.js(MacOverlay::dirtyScript()), Json(false));
    ASSERT_TRUE(rig.click(".new-folder"));
    EXPECT_EQ(rig.js(MacOverlay::dirtyScript()), Json(false)) << "an untouched form holds nothing";
    ASSERT_TRUE(rig.type("[role=dialog] input", "반쯤 쓴 이름"));
    EXPECT_EQ(rig.js(MacOverlay::dirtyScript()), Json(true));
    // Escape asks before it drops the edit.
    rig.key("Escape");
    ASSERT_EQ(rig.count("[role=dialog]"), 2);
    // The question stands over the form: its "버리고 닫기" closes both.
    EXPECT_EQ(rig.text(".modal-backdrop:last-child h2"), "저장하지 않은 변경 내용을 버릴까요?");
    ASSERT_TRUE(rig.click(".modal-backdrop:last-child button[data-action='confirm']"));
    EXPECT_EQ(rig.count("[role=dialog]"), 0);
    EXPECT_EQ(rig.calls("create_folder"), 0);
    EXPECT_EQ(rig.js(MacOverlay::dirtyScript()), Json(false));
}

}  // namespace
}  // namespace parlendo
