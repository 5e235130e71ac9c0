// The program's own texts as its windows, alerts, menus and cards show them: in the words of this
// desktop (no Mac, no ⌥ or ⌘, particles that agree with the key names).
#include "account/GtkAccountAlerts.h"
#include "shell/GtkAlerts.h"
#include "shell/NoticeWindow.h"
#include "shell/PermissionWindow.h"

#include "LabelLines.h"
#include "ShellDesktop.h"
#include "account/AccountAlert.h"
#include "account/LoginModel.h"
#include "aitalk/AITalkOwner.h"
#include "aitalk/AITalkText.h"
#include "capture/DetectMenu.h"
#include "foundation/AppBundle.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/PlatformWords.h"
#include "shell/StatusMenuModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace parlendo {
namespace {

using testing::LabelLines;
using testing::ShellDesktop;

// What only a Mac says (its words, its install and uninstall steps, its permission list), and
// particles that do not agree with the key name before them.
std::vector<std::string> macWords(const std::string& text) {
    static const std::vector<std::pair<std::regex, std::string>> words = [] {
        std::vector<std::pair<std::regex, std::string>> list;
        for (const char* word :
             {"손쉬운 사용", "메뉴 막대", "개인정보 보호 및 보안", "키체인", "⌥", "⌘", "\\bMac\\b",
              "Finder", "휴지통으로 옮기", "「–」", "응용 프로그램 폴더", "설치 창", "Ctrl ?를",
              "Ctrl ?는", "Ctrl ?와", "Alt ?을", "Alt ?은", "Alt ?과"}) {
            list.emplace_back(std::regex(word), word);
        }
        return list;
    }();
    std::vector<std::string> found;
    for (const auto& [pattern, word] : words) {
        if (std::regex_search(text, pattern)) {
            found.push_back(word + " in: " + text);
        }
    }
    return found;
}

class ShownTextsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShellDesktop::ready())
            << "needs an X display: run under scripts/with-session.sh";
    }
    // The window in the light and the dark theme.
    static void screenshotBoth(GtkWidget* window, const std::string& name) {
        GtkSettings* settings = gtk_settings_get_default();
        for (const bool dark : {false, true}) {
            g_object_set(settings, "gtk-application-prefer-dark-theme", dark, nullptr);
            EXPECT_GT(ShellDesktop::screenshot(window, name + (dark ? "-dark" : "-light") + ".png"),
                      300);
        }
        g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);
    }
    void expectLinuxWords(const std::vector<std::string>& texts) {
        for (const auto& text : texts) {
            EXPECT_EQ(macWords(text), std::vector<std::string>{});
        }
    }
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
};

TEST_F(ShownTextsTest, WindowsAlertsMenusAndNoticesSpeakOfThisDesktop) {
    PermissionWindow::Desktop desktop;
    desktop.trusted = [] {
        return false;
    };
    desktop.main = main;
    auto permission = PermissionWindow::make(desktop, [] {});
    permission->show();
    const auto permissionTexts = LabelLines::texts(permission->window());
    EXPECT_EQ(permissionTexts.front(), "접근성 권한이 필요해요");
    expectLinuxWords(permissionTexts);
    screenshotBoth(permission->window(), "permission-window");
    gtk_widget_hide(permission->window());

    char pattern[] = "/tmp/parlendo-words-XXXXXX";
    const std::string state = ::mkdtemp(pattern);
    auto notice = NoticeWindow::make(AppBundle::main().resource("approved_notice_ko", "md"), state,
                                     [] { return 0.0; });
    notice->showOnRequest();
    const auto noticeTexts = LabelLines::texts(notice->window());
    EXPECT_GT(noticeTexts.size(), 10u);
    expectLinuxWords(noticeTexts);
    // The notice's paragraphs break their lines between words.
    for (GtkWidget* label : LabelLines::labels(notice->textColumn())) {
        EXPECT_EQ(LabelLines::breaksInsideWords(label), std::vector<std::string>{});
    }
    screenshotBoth(notice->window(), "notice-window");
    gtk_widget_hide(notice->window());

    const BuildStamp older{"0.2.0", "20250301.01"};
    const BuildStamp newer{"0.2.0", "20250401.01"};
    for (const auto& alert : {DeviceCare::moveAlert(), DeviceCare::downgradeAlert(newer, older),
                              DeviceCare::loginItemFailedAlert(), DeviceCare::wipeQuestion(),
                              DeviceCare::wipeDoneAlert({}), DeviceCare::wipeDoneAlert({"logs"}),
                              GtkAlerts::shutdownAlert(2, 1)}) {
        GtkWidget* dialog = GtkAlerts::make(alert);
        expectLinuxWords(LabelLines::texts(dialog, true));
        gtk_widget_destroy(dialog);
    }

    // Texts that reach the screen through a menu, a card or the login window's message.
    DetectState on;
    on.enabled = on.permissionGranted = on.loggedIn = on.healthy = true;
    DetectState noPermission;
    std::vector<std::string> passed;
    for (const auto& lines :
         {DetectMenu::lines(on, {{true, true}}, true), DetectMenu::lines(DetectState{}, {}, true),
          DetectMenu::lines(noPermission, {}, false)}) {
        passed.push_back(lines.state);
        passed.push_back(lines.toggle);
    }
    for (const char* text :
         {StatusMenuModel::permissionGrantedTitle, StatusMenuModel::permissionNeededTitle,
          AccountNotices::loggedIn, AccountNotices::cleanedUp, LoginModel::profileMissing,
          LoginModel::offlineText, AITalkMenu::on, AITalkText::noText}) {
        passed.emplace_back(text);
    }
    std::vector<std::string> shown;
    for (const auto& text : passed) {
        shown.push_back(PlatformWords::render(text));
    }
    expectLinuxWords(shown);
    EXPECT_EQ(PlatformWords::render(AITalkMenu::on),
              "AI 톡 켜짐 — 글을 선택하고 Ctrl을 누른 채 C 두 번");
}

// The recovery question names both accounts so they can be told apart: their addresses are shown
// exactly, words of the Mac in them included, in the program's text of this desktop.
TEST_F(ShownTextsTest, AddressesPutIntoTheProgramsTextsAreShownAsTheyAre) {
    GtkWidget* dialog = GtkAccountAlerts::make(AccountAlert::recoveryQuestion(
        {"u9", "Mac.Kim@example.com", std::string("mac@Mac.example"), true, {}}));
    const auto texts = LabelLines::texts(dialog, true);
    const auto shows = [&](const std::string& part) {
        return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
            return text.find(part) != std::string::npos;
        });
    };
    EXPECT_TRUE(shows("Mac.Kim@example.com 의 비밀번호 재설정 링크예요."))
        << ::testing::PrintToString(texts);
    EXPECT_TRUE(shows("지금은 mac@Mac.example(으)로 로그인돼 있어요."));
    EXPECT_TRUE(shows("그 계정에서 로그아웃되고 Mac.Kim@example.com(으)로 바뀝니다."));
    gtk_widget_destroy(dialog);
}

}  // namespace
}  // namespace parlendo
