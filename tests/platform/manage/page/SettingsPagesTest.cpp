#include <gtest/gtest.h>

#include "PageRig.h"

namespace parlendo {
namespace {

using testing::PageRig;

void addPopup(PageRig& rig, const std::string& name, Json contents, bool enabled, int position) {
    auto answer = rig.library->call("POST", "/rest/v1/assistants",
                                    Json{{"user_id", "user-1"},
                                         {"name", name},
                                         {"enabled", enabled},
                                         {"save", true},
                                         {"spec", {{"contents", contents}}},
                                         {"position", position}});
    ASSERT_TRUE(answer.has_value());
}

// A model's answer that calls the popup function with these arguments.
DraftResponse proposal(const Json& args) {
    Json body = {
        {"candidates", Json::array({{{"content",
                                      {{"parts", Json::array({{{"functionCall",
                                                                {{"name", "create_custom_popup"},
                                                                 {"args", args}}}}})}}}}})}};
    return DraftResponse::http(200, body.dump());
}

TEST(PopupCardsPage, CardsAreSwitchedEditedCreatedDraftedAndDeleted) {
    PageRig rig;
    addPopup(rig, "단어", {"korean"}, true, 0);
    addPopup(rig, "<i>문장</i>", {"translation"}, false, 1);
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".rail-item[data-screen='popups']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.popup-card').length === 2"));
    EXPECT_EQ(rig.text(".popup-card:nth-child(2) h3"), "<i>문장</i>");
    EXPECT_NE(rig.text(".popup-card:nth-child(1) .chips").find("한글 뜻"), std::string::npos);
    rig.snapshotBoth("popup-cards");

    // Switch the second card on.
    ASSERT_TRUE(rig.click(".popup-card:nth-child(2) .switch input"));
    EXPECT_EQ(rig.lastArgs("toggle_assistant")->at(1), true);

    // Edit the first: another name, the example under the meaning, wider.
    ASSERT_TRUE(rig.click(".popup-card:nth-child(1) [data-act='edit']"));
    ASSERT_TRUE(rig.type("[role=dialog] input[type=text]", "뜻과 예문"));
    ASSERT_TRUE(rig.click("[role=dialog] [data-content='example'] input"));
    ASSERT_TRUE(rig.click("[role=dialog] input[value='wide']"));
    rig.snapshotBoth("popup-editor");
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('[role=dialog]').length === 0"));
    const Json update = *rig.lastArgs("update_assistant");
    EXPECT_EQ(update[1], "뜻과 예문");
    EXPECT_EQ(update[3], Json::array({"korean", "example"}));
    EXPECT_EQ(update[4]["width"], "wide");

    // A new card needs a name; a name another card has is refused (the server's unique name).
    rig.intercept =
        [](const testing::FakeServerCalling::Call& call) -> std::optional<DetailedCallResult> {
        if (call.method == "POST" && call.path.rfind("/rest/v1/assistants", 0) == 0 && call.json &&
            (*call.json)["name"] == "뜻과 예문") {
            return fail(CallFailureDetail(
                CallFailure::rejectedDetail(ServerRejection{409, "23505", "duplicate key"}), 409));
        }
        return std::nullopt;
    };
    ASSERT_TRUE(rig.click(".page-actions button.primary"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_EQ(rig.text("[role=dialog] .dialog-error"), "팝업 이름을 입력해 주세요.");
    ASSERT_TRUE(rig.type("[role=dialog] input[type=text]", "뜻과 예문"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor(
        "document.querySelector('[role=dialog] .dialog-error').textContent.includes('같은 이름')"));
    ASSERT_TRUE(rig.type("[role=dialog] input[type=text]", "세 번째"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.popup-card').length === 3"));

    // Drafting without a key says where to put one; with a key the proposal fills the editor.
    ASSERT_TRUE(rig.click(".page-actions button:not(.primary)"));
    ASSERT_TRUE(rig.type("[role=dialog] textarea", "한글 뜻만 넓게"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.draft-problem').textContent.includes('AI API 키')"));
    EXPECT_EQ(rig.draft->requests, 0);
    rig.secrets->items["optional_custom_ai_key"] = "key-123";
    rig.secrets->items["optional_custom_ai_key_owner"] = "user-1";
    rig.draft->answers = {proposal(
        {{"name", "한글뜻만"}, {"contents", {"korean"}}, {"width", "wide"}, {"opacity", 20}})};
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.draft-preview')"));
    EXPECT_NE(rig.text(".draft-preview .warnings").find("범위 조정"), std::string::npos);
    rig.snapshotBoth("popup-draft");
    ASSERT_TRUE(rig.click(".draft-preview button.primary"));
    EXPECT_EQ(rig.js("document.querySelector('[role=dialog] input[type=text]').value")
                  ->get<std::string>(),
              "한글뜻만");
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.popup-card').length === 4"));
    EXPECT_EQ((*rig.lastArgs("save_assistant"))[2]["opacity"], 40);

    // Deleting asks first.
    ASSERT_TRUE(rig.click(".popup-card:nth-child(4) [data-act='delete']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.popup-card').length === 3"));
    EXPECT_EQ(rig.calls("delete_assistant"), 1);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(SettingsPage, ViewThemeKeyAndFeedback) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".rail-item[data-screen='settings']"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.key-state')"));
    EXPECT_NE(rig.text(".key-state").find("저장된 키가 없어요"), std::string::npos);
    rig.snapshotBoth("settings");

    // View settings are the page's own and kept on the server.
    ASSERT_TRUE(rig.click("input[name=density][value=compact]"));
    EXPECT_EQ(rig.viewSettings["density"], "compact");
    EXPECT_EQ(rig.js("document.documentElement.dataset.density")->get<std::string>(), "compact");

    // Theme: dark is pinned; following the system again is told it waits for the next launch.
    ASSERT_TRUE(rig.click("input[name=theme][value=dark]"));
    ASSERT_TRUE(rig.waitFor("document.documentElement.getAttribute('data-app-theme') === 'dark'"));
    EXPECT_EQ(rig.viewSettings["theme"], "dark");
    ASSERT_TRUE(rig.click("input[name=theme][value=system]"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.toasts').textContent.includes('다시 시작하면')"));
    EXPECT_EQ(rig.viewSettings["theme"], "system");
    EXPECT_EQ(rig.lastArgs("set_ui_theme"), Json::array({"system"}));

    // The optional AI key: stored in the secret store, then removed.
    ASSERT_TRUE(rig.type(".key-form input", "  my-key  "));
    ASSERT_TRUE(rig.click(".key-form button"));
    ASSERT_TRUE(rig.waitFor("document.querySelector('.key-state').classList.contains('on')"));
    EXPECT_EQ(rig.secrets->items["optional_custom_ai_key"], "my-key");
    ASSERT_TRUE(rig.click("#settings-aikey button.danger"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("!document.querySelector('.key-state').classList.contains('on')"));
    EXPECT_EQ(rig.secrets->items.count("optional_custom_ai_key"), 0u);

    // Feedback: unsent text counts as an unsaved edit; Ctrl+Enter sends it.
    ASSERT_TRUE(rig.type("#settings-feedback textarea", "좋아요!"));
    EXPECT_TRUE(rig.js("dirty()")->get<bool>());
    rig.key("Enter", "ctrl");
    ASSERT_TRUE(rig.until([&] { return rig.feedback.size() == 1; }));
    EXPECT_EQ(rig.feedback[0]["text"], "좋아요!");
    ASSERT_TRUE(rig.waitFor("document.querySelector('#settings-feedback textarea').value === ''"));
    EXPECT_FALSE(rig.js("dirty()")->get<bool>());
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(DetectionPage, ShowsTheStateTheNoticeAndTheTurnedAwayCapturesAndSwitches) {
    PageRig rig;
    rig.notice = Json{
        {"key", "maintenance"}, {"text", "오늘 밤 점검이 있어요."}, {"update_required", false}};
    rig.detect->write([](DetectState& state) { state.rejections.busy = 3; });
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.waitFor("document.querySelector('.detect-pill').dataset.state === 'off'"));
    EXPECT_EQ(rig.text(".banner .banner-text"), "오늘 밤 점검이 있어요.");
    ASSERT_TRUE(rig.click(".rail-item[data-screen='detect']"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.counts tr[data-key=CAPTURE_CAPACITY]')"));
    EXPECT_EQ(rig.text(".counts tr[data-key=CAPTURE_CAPACITY] td"), "3");
    ASSERT_TRUE(rig.click(".detect-card button[data-act='start']"));
    EXPECT_TRUE(rig.detect->control().state().enabled);
    ASSERT_TRUE(rig.waitFor("document.querySelector('.detect-pill').dataset.state === 'on'"));
    rig.snapshotBoth("detection");
    ASSERT_TRUE(rig.click(".detect-pill"));
    EXPECT_FALSE(rig.detect->control().state().enabled);
    EXPECT_EQ(rig.calls("detect_stop"), 1);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(AccountPage, ResetsThisComputerAndDeletesTheAccountWithItsPassword) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".rail-item[data-screen='account']"));
    EXPECT_EQ(rig.text(".profile-name"), "민지");
    rig.snapshotBoth("account");

    ASSERT_TRUE(rig.click("[data-act='delete']"));
    ASSERT_TRUE(rig.type("[role=dialog] input[type=password]", "wrong"));
    ASSERT_TRUE(rig.click("[role=dialog] input[type=checkbox]"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('[role=dialog] .dialog-error').textContent === "
                    "'비밀번호가 맞지 않아요.'"));
    rig.snapshot("delete-account");
    ASSERT_TRUE(rig.type("[role=dialog] input[type=password]", "right"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("state.ready === false && !!document.querySelector('.auth-form')"));
    EXPECT_NE(rig.text(".auth-message").find("계정을 삭제했어요"), std::string::npos);

    // Signed in again, the reset of this computer's sign-in also leaves to the sign-in screen.
    ASSERT_TRUE(rig.type(".auth-form input[name=email]", "minji@example.com"));
    ASSERT_TRUE(rig.type(".auth-form input[name=password]", "right"));
    ASSERT_TRUE(rig.click(".auth-form button[type=submit]"));
    ASSERT_TRUE(rig.waitFor("state.ready === true"));
    ASSERT_TRUE(rig.click(".rail-item[data-screen='account']"));
    ASSERT_TRUE(rig.click("[data-act='reset']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("state.ready === false"));
    EXPECT_EQ(rig.calls("reset_local_state"), 1);
    EXPECT_EQ(rig.pageErrors(), 0);
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

TEST(SettingsPage, ARefusedSaveSaysWhatHappenedAndTheThemeChoicesAgree) {
    PageRig rig;
    rig.intercept =
        [](const testing::FakeServerCalling::Call& call) -> std::optional<DetailedCallResult> {
        if (call.method == "PATCH" && call.path.rfind("/rest/v1/profiles", 0) == 0) {
            return fail(CallFailureDetail(CallFailure::rejected(404), 404));
        }
        return std::nullopt;
    };
    ASSERT_TRUE(rig.open());

    // The top bar's button pins dark; keeping it for the next launch is refused by the server.
    ASSERT_TRUE(rig.click(".theme-button"));
    ASSERT_TRUE(rig.waitFor("document.documentElement.getAttribute('data-app-theme') === 'dark'"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.toast.error')"));
    const std::string said = rig.text(".toast.error");
    EXPECT_NE(said.find("응답 404"), std::string::npos) << said;
    EXPECT_EQ(said.find("인터넷"), std::string::npos) << said;
    rig.snapshotBoth("refused-save");

    // Settings → 테마 marks what the button chose; the message stays with the screen it was for.
    ASSERT_TRUE(rig.click(".rail-item[data-screen='settings']"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('input[name=theme][value=dark]')"));
    EXPECT_TRUE(
        rig.js("document.querySelector('input[name=theme][value=dark]').checked")->get<bool>());
    EXPECT_EQ(rig.count(".toast"), 0);
    ASSERT_TRUE(rig.click(".theme-button"));
    ASSERT_TRUE(rig.waitFor("document.querySelector('input[name=theme][value=light]').checked"));
    rig.snapshotBoth("theme-chosen");
    EXPECT_EQ(rig.pageErrors(), 0);
}

}  // namespace
}  // namespace parlendo
