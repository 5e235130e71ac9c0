#include "shell/ActionMenuItem.h"
#include "shell/GtkAlerts.h"
#include "shell/NoticeWindow.h"
#include "shell/PermissionWindow.h"
#include "shell/StatusMenu.h"

#include "LogCapture.h"
#include "ManualExecutor.h"
#include "ShellDesktop.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/PlatformWords.h"
#include "foundation/UserActionTime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace parlendo {
namespace {

using testing::LogCapture;
using testing::ShellDesktop;

class ShellWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShellDesktop::ready())
            << "needs an X display: run under scripts/with-session.sh";
        char pattern[] = "/tmp/parlendo-shell-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return folder / name;
    }

    LogCapture log;
    std::filesystem::path folder;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
};

TEST_F(ShellWindowsTest, ThePermissionWindowExplainsOpensSettingsAndClosesOnceGranted) {
    bool trusted = false;
    int refreshes = 0;
    int enabled = 0;
    int granted = 0;
    PermissionWindow::Desktop desktop;
    desktop.trusted = [&] {
        return trusted;
    };
    desktop.refresh = [&] {
        ++refreshes;
    };
    desktop.enableAccessibility = [&] {
        ++enabled;
    };
    desktop.openSettings = [] {
        return false;
    };
    desktop.main = main;
    auto window = PermissionWindow::make(desktop, [&] { ++granted; });
    // Mapped once, by the presenter, with the time of the action that asked for it.
    testing::FirstMapTimes maps;
    UserActionTime::note();
    window->show();
    EXPECT_EQ(maps.of(window->window()), UserActionTime::latest());
    EXPECT_GT(ShellDesktop::screenshot(window->window(), "permission-window.png"), 300);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window->window())), "PARLENDO 권한 설정");
    int width = 0;
    gtk_window_get_size(GTK_WINDOW(window->window()), &width, nullptr);
    EXPECT_GE(width, PermissionWindow::width);

    gtk_button_clicked(GTK_BUTTON(window->button()));
    EXPECT_EQ(enabled, 1);
    EXPECT_TRUE(log.contains("permission", "접근성 설정을 열 수 있는 프로그램이 없음"));

    // A second show keeps one chain of checks; closing only hides and the checks go on.
    window->show();
    gtk_window_close(GTK_WINDOW(window->window()));
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return refreshes >= 2; }, 3.0));
    const int before = refreshes;
    ShellDesktop::pumpFor(1.05);
    EXPECT_LE(refreshes - before, 1);
    EXPECT_TRUE(window->polling());

    trusted = true;
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return granted == 1; }, 3.0));
    ShellDesktop::pumpFor(1.2);
    EXPECT_EQ(granted, 1);
    EXPECT_FALSE(window->polling());
    EXPECT_FALSE(gtk_widget_get_visible(window->window()));
    EXPECT_EQ(log.count("permission", "손쉬운 사용 허용됨"), 1u);
}

TEST_F(ShellWindowsTest, TheNoticeShowsItsTextUntilAcknowledged) {
    const auto resource = write("approved_notice_ko.md",
                                "# 안내 제목\n\n머리말\n## 읽는 것\n- **선택한 글**: 읽어요\n"
                                "- *창 제목*\n## 끄는 방법\nAlt 두 번\n");
    const auto state = folder / "state";
    auto notice = NoticeWindow::make(resource, state, [] { return 1'740'821'400.0; });
    testing::FirstMapTimes maps;
    UserActionTime::note();
    notice->showIfNeeded();
    ASSERT_NE(notice->window(), nullptr);
    EXPECT_EQ(maps.of(notice->window()), UserActionTime::latest());
    EXPECT_TRUE(log.contains("notice", "shown sha=" + notice->fingerprint().substr(0, 8)));
    const std::string text = notice->shownText();
    EXPECT_TRUE(text.starts_with("안내 제목\n창 제목\n"));
    EXPECT_NE(text.find(FirstRunNotice::windowTitleSentence), std::string::npos);
    EXPECT_NE(text.find("머리말"), std::string::npos);
    EXPECT_NE(text.find("• 선택한 글: 읽어요"), std::string::npos);
    EXPECT_EQ(text.find("**"), std::string::npos);
    EXPECT_GT(ShellDesktop::screenshot(notice->window(), "notice-window.png"), 1000);

    // Closing counts as acknowledging, once.
    gtk_window_close(GTK_WINDOW(notice->window()));
    ShellDesktop::pumpUntil([&] { return !gtk_widget_get_visible(notice->window()); });
    EXPECT_TRUE(std::filesystem::exists(state / "notice_seen.json"));
    notice->acknowledge();
    EXPECT_EQ(log.count("notice", "acknowledged saved=true"), 1u);

    // The same text is not shown again at the next start; a changed one is.
    auto again = NoticeWindow::make(resource, state, [] { return 0.0; });
    again->showIfNeeded();
    EXPECT_EQ(again->window(), nullptr);
    write("approved_notice_ko.md", "# 안내 제목\n바뀜\n");
    again->showIfNeeded();
    EXPECT_NE(again->window(), nullptr);
    // On request it shows whatever was acknowledged.
    auto onRequest = NoticeWindow::make(resource, state, [] { return 0.0; });
    onRequest->showOnRequest();
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return ShellDesktop::shown(onRequest->window()); }));
}

// At start-up the notice is laid out a paragraph per turn of the main loop before it is shown:
// the window stays hidden until then, and a notice already acknowledged builds nothing.
TEST_F(ShellWindowsTest, TheNoticeIsLaidOutInTurnsBeforeItIsShown) {
    const auto resource = write("approved_notice_ko.md",
                                "# 안내 제목\n\n머리말\n## 읽는 것\n- 선택한 글\n- 창 제목\n");
    const auto state = folder / "state";
    auto main = std::make_shared<GlibMainExecutor>();
    auto notice = NoticeWindow::make(resource, state, [] { return 0.0; });
    bool ready = false;
    notice->prepare(main, [&] { ready = true; });
    ASSERT_NE(notice->window(), nullptr);
    EXPECT_FALSE(ready);
    EXPECT_FALSE(gtk_widget_get_visible(notice->window()));
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] { return ready; }));
    EXPECT_FALSE(gtk_widget_get_visible(notice->window()));
    notice->showIfNeeded();
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return ShellDesktop::shown(notice->window()); }));
    EXPECT_TRUE(notice->shownText().starts_with("안내 제목\n창 제목\n"));
    notice->acknowledge();

    auto again = NoticeWindow::make(resource, state, [] { return 0.0; });
    bool answered = false;
    again->prepare(main, [&] { answered = true; });
    EXPECT_TRUE(answered);
    EXPECT_EQ(again->window(), nullptr);
}

// The acknowledgement is written off the main loop, which a busy disk would hold; the start's
// next window does not wait for it.
TEST_F(ShellWindowsTest, TheNoticesAcknowledgementIsWrittenOnItsWriter) {
    const auto resource = write("approved_notice_ko.md", "# 안내 제목\n\n머리말\n");
    const auto state = folder / "state";
    auto writer = std::make_shared<testing::ManualExecutor>();
    auto notice = NoticeWindow::make(
        resource, state, [] { return 0.0; }, writer);
    int answered = 0;
    notice->showIfNeeded([&] { ++answered; });
    ASSERT_NE(notice->window(), nullptr);
    notice->acknowledge();
    EXPECT_EQ(answered, 1);
    EXPECT_FALSE(std::filesystem::exists(state / FirstRunState::fileName))
        << "written on the main loop";
    EXPECT_EQ(writer->runAll(), 1u);
    EXPECT_TRUE(
        log.has("notice", "acknowledged saved=true sha=" + notice->fingerprint().substr(0, 8)));
    auto again = NoticeWindow::make(resource, state, [] { return 0.0; });
    again->showIfNeeded();
    EXPECT_EQ(again->window(), nullptr);
}

TEST_F(ShellWindowsTest, AMissingNoticeStillShowsTheFixedSentence) {
    auto notice = NoticeWindow::make(folder / "missing.md", folder, [] { return 0.0; });
    notice->showIfNeeded();
    ASSERT_NE(notice->window(), nullptr);
    EXPECT_TRUE(notice->shownText().starts_with(std::string(FirstRunNotice::defaultTitle) +
                                                "\n창 제목\n" +
                                                FirstRunNotice::windowTitleSentence));
    EXPECT_TRUE(log.contains("notice", "고지 파일이 번들에 없다"));
}

TEST_F(ShellWindowsTest, AlertsAnswerTheirButtonAndCheckBoxInLinuxWords) {
    GtkWidget* made = GtkAlerts::make(DeviceCare::wipeQuestion());
    gchar* message = nullptr;
    g_object_get(made, "text", &message, nullptr);
    EXPECT_STREQ(message, "이 컴퓨터의 PARLENDO 데이터를 지울까요?");
    g_free(message);
    gtk_widget_destroy(made);

    std::optional<DeviceCare::Answer> answer;
    GtkAlerts::show(DeviceCare::wipeQuestion(), [&](DeviceCare::Answer value) { answer = value; });
    GtkWidget* dialog = nullptr;
    ShellDesktop::pumpUntil([&] {
        for (GList* l = gtk_window_list_toplevels(); l != nullptr; l = l->next) {
            if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data))) {
                dialog = GTK_WIDGET(l->data);
            }
        }
        return dialog != nullptr;
    });
    ASSERT_NE(dialog, nullptr);
    EXPECT_GT(ShellDesktop::screenshot(dialog, "wipe-question.png"), 300);
    gtk_dialog_response(GTK_DIALOG(dialog), 1);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->button, 1);
    EXPECT_TRUE(answer->checked);

    // Closing the quit question cancels the quit.
    std::optional<ShutdownPrompt::Choice> choice;
    GtkAlerts::askShutdown(2, 1, [&](ShutdownPrompt::Choice value) { choice = value; });
    GtkWidget* prompt = nullptr;
    ShellDesktop::pumpUntil([&] {
        for (GList* l = gtk_window_list_toplevels(); l != nullptr; l = l->next) {
            if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data))) {
                prompt = GTK_WIDGET(l->data);
            }
        }
        return prompt != nullptr;
    });
    ASSERT_NE(prompt, nullptr);
    EXPECT_GT(ShellDesktop::screenshot(prompt, "quit-question.png"), 300);
    gtk_dialog_response(GTK_DIALOG(prompt), GTK_RESPONSE_DELETE_EVENT);
    EXPECT_EQ(choice, ShutdownPrompt::Choice::cancel);
    EXPECT_EQ(GtkAlerts::shutdownQuestion(), nullptr);

    // A signal closes an open question from outside.
    choice.reset();
    GtkAlerts::askShutdown(1, 0, [&](ShutdownPrompt::Choice value) { choice = value; });
    ASSERT_NE(GtkAlerts::shutdownQuestion(), nullptr);
    ASSERT_TRUE(ShellDesktop::pumpUntil(
        [&] { return gtk_widget_get_mapped(GtkAlerts::shutdownQuestion()); }));
    GtkAlerts::closeShutdownQuestion();
    EXPECT_TRUE(choice.has_value());
    EXPECT_EQ(GtkAlerts::shutdownQuestion(), nullptr);
    GtkAlerts::closeShutdownQuestion();  // nothing open: nothing happens
}

TEST_F(ShellWindowsTest, TheStatusMenuDrawsGroupsAndRunsOnlyEnabledItems) {
    StatusMenuModel model;
    int toggles = 0;
    auto toggle = std::make_shared<MenuItem>();
    toggle->title = "감지 켜기";
    toggle->handler = [&] {
        ++toggles;
    };
    auto login = std::make_shared<MenuItem>();
    login->title = "Mac을 켤 때 자동으로 시작";
    login->checked = false;
    login->handler = [] {
    };
    struct Module final : FeatureModule {
        void start() override {}
        BridgeRouteGroups bridgeRoutes() const override { return {}; }
        MenuItems menu() const override { return items; }
        void refreshMenu() override {}
        void menuWillOpen() override { ++openings; }
        MenuItems items;
        int openings = 0;
    };
    auto module = std::make_shared<Module>();
    module->items.status = {toggle};
    module->items.device = {login};
    auto menu = StatusMenu::make(model, folder, main);
    model.install({module}, [] { return DetectState{}; });
    EXPECT_EQ(log.count("menu", "상태 아이콘 파일이 없다"), 2u);

    std::vector<GtkWidget*> children;
    GList* list = gtk_container_get_children(GTK_CONTAINER(menu->menu()));
    for (GList* l = list; l != nullptr; l = l->next) {
        children.push_back(GTK_WIDGET(l->data));
    }
    g_list_free(list);
    // toggle | notice, unsaved, login, permission, log folder | not stored | quit
    ASSERT_EQ(children.size(), 1u + 1 + 5 + 1 + 1 + 1 + 1);
    EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(children[1]));
    EXPECT_FALSE(gtk_widget_get_visible(children[2]));  // server notice, hidden
    EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(children[4]));
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(children[4])),
                 "컴퓨터를 켤 때 자동으로 시작");

    gtk_menu_item_activate(GTK_MENU_ITEM(children[0]));
    EXPECT_EQ(toggles, 1);
    toggle->enabled = false;
    gtk_menu_item_activate(GTK_MENU_ITEM(children[0]));
    EXPECT_EQ(toggles, 1);
    model.refresh();
    EXPECT_FALSE(gtk_widget_get_sensitive(children[0]));

    login->checked = true;
    model.refresh();
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(children[4])));

    // Shown by a tray that draws the menu here, the menu tells the modules it opens.
    const GdkRectangle corner{20, 20, 1, 1};
    const auto popup = [&] {
        gtk_menu_popup_at_rect(GTK_MENU(menu->menu()), gdk_get_default_root_window(), &corner,
                               GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    };
    popup();
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] { return module->openings == 1; }));
    EXPECT_EQ(log.count("menu", "opened"), 1u);
    gtk_menu_popdown(GTK_MENU(menu->menu()));
    ShellDesktop::pumpFor(0.1);
    popup();
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return module->openings == 2; }));
    gtk_menu_popdown(GTK_MENU(menu->menu()));
}

}  // namespace
}  // namespace parlendo
