#include <gtest/gtest.h>

#include <tuple>

#include "DesktopSession.h"
#include "FileOpens.h"
#include "LabelLines.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "ScriptedAccount.h"
#include "WindowDesktop.h"
#include "account/GtkAccountAlerts.h"
#include "account/GtkLoginWindow.h"
#include "account/GtkNewPasswordWindow.h"
#include "auth/AuthCode.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GtkAlert.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

struct NoProfiles final : ProfileStore {
    void username(Completion<void(Result<std::optional<std::string>, CallFailure>)> c) override {
        c(std::optional<std::string>("민지"));
    }
    void ensure(const std::string&, Completion<void(Result<void, CallFailure>)> c) override {
        c({});
    }
};

std::string label(GtkWidget* widget) {
    return GTK_IS_BUTTON(widget) ? gtk_button_get_label(GTK_BUTTON(widget))
                                 : gtk_label_get_text(GTK_LABEL(widget));
}
std::string text(GtkWidget* entry) {
    return gtk_entry_get_text(GTK_ENTRY(entry));
}
bool shown(GtkWidget* widget) {
    return gtk_widget_is_visible(widget) == TRUE && gtk_widget_get_child_visible(widget) == TRUE;
}
bool hasClass(GtkWidget* widget, const char* name) {
    return gtk_style_context_has_class(gtk_widget_get_style_context(widget), name) == TRUE;
}
// The message dialog on screen, if any.
GtkWidget* shownAlert() {
    GtkWidget* shown = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it != nullptr; it = it->next) {
        if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_mapped(GTK_WIDGET(it->data))) {
            shown = GTK_WIDGET(it->data);
        }
    }
    g_list_free(windows);
    return shown;
}

// Counts the frames in which `widget` is drawn.
void countDraws(GtkWidget* widget, int* count) {
    g_signal_connect(widget, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer drawn) {
                         ++*static_cast<int*>(drawn);
                         return FALSE;
                     }),
                     count);
}

class AccountWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureDesktop(); }

    LogCapture log;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<ScriptedAccount> account = [] {
        auto scripted = std::make_shared<ScriptedAccount>();
        scripted->signInAnswer = fail(AccountError(std::nullopt, AuthCode::loginFailed));
        scripted->signUpAnswer = SignUpOutcome::needsEmailConfirmation();
        return scripted;
    }();
};

TEST_F(AccountWindowsTest, TheLoginWindowsThreeModesDrivenFromTheKeyboardAndPointer) {
    int retries = 0;
    int loggedIn = 0;
    auto window = GtkLoginWindow::make(
        {account, std::make_shared<NoProfiles>(), [&] { ++loggedIn; }, [&] { ++retries; }, main});
    window->show(LoginModel::Mode::signIn, std::nullopt);
    const auto& w = window->widgets();
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(w.window) == TRUE; }));
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(w.window))), "PARLENDO");
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(w.password)));
    EXPECT_EQ(label(w.primary), "로그인");
    EXPECT_EQ(label(w.switchMode), "계정이 없어요 → 회원가입");
    EXPECT_TRUE(shown(w.email) && shown(w.password) && shown(w.forgot));
    EXPECT_FALSE(shown(w.usernameRow) || shown(w.retry) || shown(w.resend) || shown(w.spinner));

    // Sign in from the keyboard: e-mail, Tab, password, Return.
    click(w.email);
    type(w.window, "mina@example.com");
    press(w.window, "Tab");
    type(w.window, "Secret-1");
    press(w.window, "Return");
    ASSERT_TRUE(pumpUntil([&] { return !account->asked.empty(); }));
    EXPECT_EQ(account->asked.back(), "sign_in mina@example.com|Secret-1");
    ASSERT_TRUE(pumpUntil([&] { return !label(w.message).empty(); }));
    EXPECT_EQ(label(w.message), *AuthCode::text(AuthCode::loginFailed));
    EXPECT_TRUE(hasClass(w.message, "parlendo-error"));
    snapshot(w.window, "login-sign-in");

    // Sign up: the name row appears; the address stays.
    click(w.switchMode);
    EXPECT_EQ(label(w.primary), "가입하고 시작하기");
    EXPECT_EQ(label(w.switchMode), "이미 계정이 있어요 → 로그인");
    EXPECT_TRUE(shown(w.usernameRow));
    EXPECT_FALSE(shown(w.forgot));
    EXPECT_EQ(text(w.email), "mina@example.com");
    click(w.username);
    type(w.window, "Mina");
    const auto place = [&] {
        int px = 0;
        int py = 0;
        int ph = 0;
        gtk_window_get_position(GTK_WINDOW(w.window), &px, &py);
        gtk_window_get_size(GTK_WINDOW(w.window), nullptr, &ph);
        return std::make_tuple(px, py, ph);
    };
    const auto signUpPlace = place();
    click(w.primary);
    ASSERT_TRUE(pumpUntil([&] { return account->asked.size() == 2; }));
    EXPECT_EQ(account->asked.back(), "sign_up mina@example.com|Secret-1|Mina");
    ASSERT_TRUE(pumpUntil([&] { return shown(w.resend); }));
    EXPECT_EQ(text(w.password), "");
    // Only the address stays; the window neither grows nor moves for the message.
    EXPECT_EQ(text(w.username), "");
    EXPECT_EQ(text(w.email), "mina@example.com");
    EXPECT_FALSE(pumpUntil([&] { return place() != signUpPlace; }, 1))
        << "the window moved or grew for the message";
    EXPECT_TRUE(hasClass(w.message, "parlendo-notice"));
    snapshot(w.window, "login-sign-up");
    click(w.resend);
    ASSERT_TRUE(pumpUntil([&] { return account->asked.size() == 3; }));
    EXPECT_EQ(account->asked.back(), "resend mina@example.com");

    // Offline: only the text, the retry and the other-account button; a second press within
    // half a second does nothing.
    window->show(LoginModel::Mode::offline, std::nullopt);
    ASSERT_TRUE(pumpUntil([&] { return shown(w.retry); }));
    EXPECT_FALSE(shown(w.email) || shown(w.password) || shown(w.primary) || shown(w.usernameRow));
    EXPECT_EQ(label(w.switchMode), "다른 계정으로 로그인");
    EXPECT_NE(label(w.message).find("이 컴퓨터의 로그인 정보는 그대로 있어요"), std::string::npos);
    snapshot(w.window, "login-offline");
    // The Korean message wraps at spaces, never inside a word.
    EXPECT_GE(LabelLines::lineCount(w.message), 3);
    EXPECT_EQ(LabelLines::breaksInsideWords(w.message), std::vector<std::string>{});
    click(w.retry);
    click(w.retry);
    EXPECT_EQ(retries, 1);
    EXPECT_TRUE(shown(w.spinner));
    EXPECT_FALSE(gtk_widget_get_sensitive(w.retry));
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_sensitive(w.retry) == TRUE; }, 3));
    click(w.retry);
    EXPECT_EQ(retries, 2);

    // A restore that succeeds closes the offline window; closing only hides it.
    window->restored();
    EXPECT_FALSE(window->visible());
    window->show(LoginModel::Mode::signIn, std::nullopt);
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(w.window) == TRUE; }));
    gtk_window_close(GTK_WINDOW(w.window));
    EXPECT_TRUE(pumpUntil([&] { return !window->visible(); }));
    window->show(LoginModel::Mode::signIn, std::nullopt);
    EXPECT_EQ(text(w.email), "mina@example.com");
    EXPECT_EQ(loggedIn, 0);
}

// The first spinner of a run, the login window's as the user signs in, finds the icon theme read
// already: read inside that frame, it held the main loop for tens of milliseconds.
TEST_F(AccountWindowsTest, TheLoginWindowsSpinnerFindsTheIconThemeReadAhead) {
    FileOpens opens(FileOpens::iconThemeIndexes());
    int windowDrawn = 0;
    int spinnerDrawn = 0;
    auto window =
        GtkLoginWindow::make({account, std::make_shared<NoProfiles>(), [] {}, [] {}, main});
    window->show(LoginModel::Mode::offline, std::nullopt);
    // Built as it is shown, and drawn in the frames that follow.
    const auto& w = window->widgets();
    countDraws(w.window, &windowDrawn);
    countDraws(w.spinner, &spinnerDrawn);
    ASSERT_TRUE(pumpUntil([&] { return windowDrawn > 0; }));
    opens.count();
    click(w.retry);
    ASSERT_TRUE(shown(w.spinner));
    ASSERT_TRUE(pumpUntil([&] { return spinnerDrawn > 0; }));
    EXPECT_EQ(opens.count(), 0) << "the spinner read the icon theme as it was drawn";
}

TEST_F(AccountWindowsTest, TheNewPasswordWindowChecksBeforeItAsks) {
    int done = 0;
    auto window = GtkNewPasswordWindow::make(
        account, [&] { ++done; }, main);
    window->show();
    const auto& w = window->widgets();
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(w.window) == TRUE; }));
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(w.window))), "새 비밀번호");
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(w.first)));
    click(w.first);
    type(w.window, "abc12");
    press(w.window, "Tab");
    type(w.window, "abc12");
    press(w.window, "Return");
    ASSERT_TRUE(pumpUntil([&] { return !label(w.message).empty(); }));
    EXPECT_EQ(label(w.message), "비밀번호는 6자 이상이어야 해요.");
    snapshot(w.window, "new-password-too-short");
    EXPECT_TRUE(account->asked.empty());

    gtk_entry_set_text(GTK_ENTRY(w.first), "비밀번호여섯");
    gtk_entry_set_text(GTK_ENTRY(w.second), "비밀번호여섯");
    click(w.button);
    ASSERT_TRUE(pumpUntil([&] { return done == 1; }));
    EXPECT_EQ(account->asked, std::vector<std::string>{"password 비밀번호여섯"});
    EXPECT_FALSE(gtk_widget_get_visible(w.window));
    window->show();
    EXPECT_EQ(text(w.first), "");
    EXPECT_EQ(label(w.message), "");
}

TEST_F(AccountWindowsTest, AlertsAnswerTheirButtonAndClosingNeverActs) {
    GtkWidget* dialog = GtkAccountAlerts::make(AccountAlert::cleanupQuestion());
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(dialog))), "PARLENDO");
    GtkWidget* no = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 0);
    GtkWidget* yes = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 1);
    ASSERT_TRUE(no && yes);
    EXPECT_EQ(label(no), "아니요");
    EXPECT_EQ(label(yes), "정리");
    gchar* secondary = nullptr;
    g_object_get(dialog, "secondary-text", &secondary, nullptr);
    EXPECT_EQ(std::string(secondary).rfind("이 컴퓨터에 남은 이 계정의 정보", 0), 0u);
    g_free(secondary);
    gtk_widget_destroy(dialog);

    std::optional<int> answer;
    GtkAccountAlerts::show(AccountAlert::logoutQuestion(), [&](int button) { answer = button; });
    GtkWidget* shownDialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (shownDialog = shownAlert()) != nullptr; }));
    snapshot(shownDialog, "logout-question");
    click(gtk_dialog_get_widget_for_response(GTK_DIALOG(shownDialog), 1));
    ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer, 1);

    // Closed without a button: the question's safe answer, not its first button.
    answer.reset();
    GtkAccountAlerts::show(AccountAlert::recoveryQuestion({"u9", "u9@example.com", {}, false, {}}),
                           [&](int button) { answer = button; });
    ASSERT_TRUE(pumpUntil([&] { return (shownDialog = shownAlert()) != nullptr; }));
    gtk_dialog_response(GTK_DIALOG(shownDialog), GTK_RESPONSE_DELETE_EVENT);
    ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer, 1);
}

// Anyone can send a recovery link, and "계속" signs the user into the link's account. The
// question keeps the keyboard where the user is typing, ignores the keys that arrive with it,
// and answers "계속" only to a click made after it has been on screen a while.
TEST_F(AccountWindowsTest, TheRecoveryQuestionSwitchesAccountsOnlyOnADeliberateClick) {
    GtkWidget* editor = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* entry = gtk_entry_new();
    gtk_container_add(GTK_CONTAINER(editor), entry);
    gtk_widget_show_all(editor);
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(editor) == TRUE; }));
    type(editor, "ab");
    ASSERT_EQ(text(entry), "ab");

    auto timers = std::make_shared<ManualExecutor>();
    const auto question = AccountAlert::recoveryQuestion(
        {"u9", "u9@example.com", std::string("u1@example.com"), true, {}});
    std::vector<int> answers;
    // Shows the question and waits until it is on screen, its delay started.
    const auto ask = [&] {
        const size_t delays = timers->delays().size();
        GtkAccountAlerts::show(
            question, [&](int button) { answers.push_back(button); }, timers);
        GtkWidget* dialog = nullptr;
        EXPECT_TRUE(pumpUntil([&] {
            dialog = shownAlert();
            return dialog != nullptr && timers->delays().size() > delays;
        }));
        return dialog;
    };

    GtkWidget* dialog = ask();
    ASSERT_NE(dialog, nullptr);
    GtkWidget* proceed = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 0);
    GtkWidget* cancel = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 1);
    EXPECT_EQ(label(proceed), "계속");
    EXPECT_EQ(label(cancel), "취소");
    gchar* secondary = nullptr;
    g_object_get(dialog, "secondary-text", &secondary, nullptr);
    EXPECT_NE(std::string(secondary).find("u1@example.com(으)로 로그인돼 있어요"),
              std::string::npos);
    g_free(secondary);
    // The window the user types in keeps the keyboard.
    ASSERT_TRUE(pumpUntil([&] {
        return DesktopSession::stackedAbove(DesktopSession::windowOf(dialog),
                                            DesktopSession::windowOf(editor));
    }));
    EXPECT_EQ(DesktopSession::focusedWindow(), DesktopSession::windowOf(editor));
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(dialog)), cancel);
    snapshot(dialog, "recovery-question");
    // Keys that reach it while it appears, and a click on "계속", do nothing.
    press(dialog, "Return");
    press(dialog, "space");
    click(proceed);
    settle();
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(timers->delays(), std::vector<double>{GtkAlert::deliberateDelay});

    // After the delay: Return takes "취소", the default.
    timers->clock()->advance(GtkAlert::deliberateDelay);
    timers->runAll();
    press(dialog, "Return");
    ASSERT_TRUE(pumpUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers, std::vector<int>{1});

    // A click on "계속" once the delay has passed is the one way to switch.
    dialog = ask();
    ASSERT_NE(dialog, nullptr);
    timers->clock()->advance(GtkAlert::deliberateDelay);
    timers->runAll();
    click(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 0));
    ASSERT_TRUE(pumpUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers.back(), 0);
    gtk_widget_destroy(editor);
}

// The recovery question arrives from a link clicked in the browser: it comes above the browser
// to be seen, and the browser keeps the keyboard.
TEST_F(AccountWindowsTest, TheRecoveryQuestionComesAboveTheBrowserWhichKeepsTheKeyboard) {
    const auto browser = TestWindow::inFront({"--title", "메일 - 브라우저"});
    ASSERT_NE(browser->xid, 0u);
    std::optional<int> answer;
    GtkAccountAlerts::show(
        AccountAlert::recoveryQuestion({"u9", "u9@example.com", std::nullopt, false, {}}),
        [&](int button) { answer = button; }, std::make_shared<ManualExecutor>());
    GtkWidget* dialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (dialog = shownAlert()) != nullptr; }));
    const unsigned long shown = DesktopSession::windowOf(dialog);
    EXPECT_TRUE(pumpUntil([&] { return DesktopSession::stackedAbove(shown, browser->xid); }, 5));
    EXPECT_EQ(DesktopSession::focusedWindow(), browser->xid);
    // Closed, it answers "취소".
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    EXPECT_EQ(answer, 1);
}

}  // namespace
}  // namespace parlendo
