#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "DragSource.h"
#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "WindowRig.h"
#include "manage/MacOverlay.h"
#include "manage/ManageCoordinator.h"
#include "manage/ManageScreenLink.h"
#include "manage/ManageWindow.h"

namespace parlendo {
namespace {

using testing::group;

struct Unreachable final : DraftTransport {
    void post(std::string, HttpHeaders, std::string, double,
              Completion<void(DraftResponse)> completion) override {
        completion(DraftResponse::unreachable());
    }
};

// The manage module over fakes, on a test page that records what the app pushes into it.
struct CoordinatorRig {
    testing::LogCapture log;
    std::shared_ptr<testing::ManualExecutor> main = std::make_shared<testing::ManualExecutor>();
    std::shared_ptr<testing::FakeServerCalling> server =
        std::make_shared<testing::FakeServerCalling>();
    std::shared_ptr<testing::FakeSession> session = std::make_shared<testing::FakeSession>("u1");
    std::shared_ptr<testing::FakeSecretStore> secrets =
        std::make_shared<testing::FakeSecretStore>();
    std::shared_ptr<ManageScreenPort> port = std::make_shared<ManageScreenPort>();
    std::shared_ptr<AccountScope> scope = std::make_shared<AccountScope>();
    std::shared_ptr<DetectStore> detect = std::make_shared<DetectStore>();
    std::shared_ptr<testing::RecordingOpener> opener = std::make_shared<testing::RecordingOpener>();
    std::shared_ptr<testing::TestRoutes> account = group();
    ThemeMode theme = ThemeMode::light;
    std::vector<std::function<void(ThemeMode)>> themeObservers;
    int routeReads = 0;
    std::shared_ptr<ManageCoordinator> manage;

    CoordinatorRig() {
        testing::ensureDesktop();
        ManageServices services;
        services.server = server;
        services.client = server;
        services.auth = session;
        services.appVersion = "0.2.0";
        services.themeMode = [this] {
            return theme;
        };
        services.observeTheme = [this](std::function<void(ThemeMode)> observer) {
            themeObservers.push_back(std::move(observer));
        };
        services.manageScreen = port;
        services.accountScope = scope;
        services.detect = detect;
        services.main = main;
        services.secrets = secrets;
        services.keychain = main;
        services.draftTransport = std::make_shared<Unreachable>();
        services.opener = opener;
        services.resources = testing::resourcesFolder();
        services.page = testing::pagesFolder() / "theme.html";
        services.makeWindow = &ManageWindow::make;
        manage = ManageCoordinator::make(std::move(services));
        manage->allRoutes = [this] {
            ++routeReads;
            BridgeRouter::Groups groups = manage->bridgeRoutes();
            groups.push_back(account);
            return groups;
        };
        manage->start();
    }

    bool until(const std::function<bool()>& done) {
        return testing::pumpUntil([&] {
            main->runAll();
            return done();
        });
    }
    bool open() {
        manage->openManage()();
        return until([&] { return manage->window()->loaded(); });
    }
    std::optional<Json> run(const std::string& script) {
        std::optional<std::optional<Json>> result;
        port->run(script, [&](std::optional<Json> r) { result = std::move(r); });
        until([&] { return result.has_value(); });
        return result.value_or(std::nullopt);
    }
    void signIn(bool loggedIn) {
        detect->write([&](DetectState& state) { state.loggedIn = loggedIn; });
    }
};

TEST(ManageCoordinator, BeforeTheWindowIsOpenedNothingIsBuiltOrPushed) {
    CoordinatorRig rig;
    bool answered = false;
    rig.port->run("1", [&](std::optional<Json> result) {
        answered = true;
        EXPECT_EQ(result, std::nullopt);
    });
    EXPECT_TRUE(answered);
    EXPECT_EQ(rig.port->window(), nullptr);
    rig.themeObservers.at(0)(ThemeMode::dark);
    rig.signIn(true);
    rig.signIn(false);
    EXPECT_FALSE(rig.manage->windowBuilt());
    EXPECT_EQ(rig.routeReads, 0);
    EXPECT_FALSE(rig.log.contains("manage", "화면에 알림"));
}

TEST(ManageCoordinator, OpeningTwiceBuildsTheRouterOnceWithEveryGroup) {
    CoordinatorRig rig;
    ASSERT_TRUE(rig.open());
    rig.manage->openManage()();
    EXPECT_EQ(rig.routeReads, 1);
    EXPECT_NE(rig.port->window(), nullptr);
    const auto table = rig.manage->bridge()->table();
    for (const char* name :
         {"load_tree", "list_assistants", "get_view_settings", "local_pdf_status", "open_url",
          "create_folder", "list_trash", "save_review", "save_status", "propose_custom",
          "save_assistant", "credential_status", "send_feedback", "ui_error"}) {
        EXPECT_EQ(table.count(name), 1u) << name;
    }
    // A call of the page reaches the manage module's own groups.
    EXPECT_EQ(rig.run("window.pywebview.api.ui_error('error').then(function (r) {"
                      " window.reply = r; }); 1"),
              Json(1));
    ASSERT_TRUE(rig.until([&] { return rig.run("window.reply") != std::nullopt; }));
    EXPECT_EQ(rig.run("window.reply"), Json::parse(R"({"ok": true, "data": {"count": 1}})"));
    testing::snapshotWebView(rig.manage->window()->webView(), "coordinator-page");
}

TEST(ManageCoordinator, SignInChangesReachTheLoadedPageUnlessThePageMadeThem) {
    CoordinatorRig rig;
    rig.account->serve("sign_out", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        rig.signIn(false);
        done(BridgeReply::ok(true));
    });
    rig.signIn(true);
    ASSERT_TRUE(rig.open());
    // A sign-out made outside the page: the page leaves to its sign-in screen.
    rig.signIn(false);
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "화면에 알림 leave"); }));
    EXPECT_EQ(rig.run("left"), Json::array({MacOverlay::sessionEndedMessage}));
    EXPECT_TRUE(rig.log.has("manage", "화면에 알림 leave applied=true"));

    // A sign-out through the page's own call: left to the page.
    rig.signIn(true);
    rig.until([&] { return rig.log.contains("manage", "화면에 알림 reenter"); });
    EXPECT_EQ(rig.run("window.pywebview.api.sign_out(); 1"), Json(1));
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "sign_out ok=true"); }));
    EXPECT_EQ(rig.run("left.length"), Json(1));
    EXPECT_EQ(rig.manage->bridge()->authCallsInFlight(), 0);
}

TEST(ManageCoordinator, ThemeChangesReachOnlyALoadedPage) {
    CoordinatorRig rig;
    ASSERT_TRUE(rig.open());
    rig.themeObservers.at(0)(ThemeMode::dark);
    ASSERT_TRUE(rig.until([&] { return rig.log.has("manage", "화면에 알림 theme applied=true"); }));
    EXPECT_EQ(rig.run("[appTheme, document.documentElement.getAttribute('data-app-theme')]"),
              Json::parse(R"(["dark", "dark"])"));

    gtk_window_close(rig.manage->window()->window());
    ASSERT_TRUE(rig.until([&] { return rig.manage->window()->window() == nullptr; }));
    rig.log.clear();
    rig.themeObservers.at(0)(ThemeMode::light);
    testing::pumpFor(0.1);
    EXPECT_FALSE(rig.log.contains("manage", "화면에 알림"));
    EXPECT_EQ(rig.port->window(), nullptr);
}

TEST(ManageCoordinator, AnAccountChangeClearsStudyRecordsAndAForeignKey) {
    CoordinatorRig rig;
    // A review whose commit is unknown (the server does not answer).
    std::optional<StudySave> saved;
    rig.manage->studyRecorder()->saveReview(true, "w1", [&](StudySave s) { saved = s; });
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->state, StudySaveState::commitUnknown);
    rig.secrets->items["optional_custom_ai_key"] = "key";
    rig.secrets->items["optional_custom_ai_key_owner"] = "someone-else";

    rig.session->setUser("u2");
    rig.scope->observe("u2");
    rig.main->runAll();  // the key is dropped on the keychain queue
    std::optional<std::optional<StudySave>> status;
    rig.manage->studyRecorder()->status(saved->operationID,
                                        [&](std::optional<StudySave> s) { status = s; });
    ASSERT_TRUE(status.has_value());
    EXPECT_FALSE(status->has_value());
    EXPECT_EQ(rig.secrets->items.count("optional_custom_ai_key"), 0u);
    EXPECT_FALSE(rig.manage->windowBuilt());
}

TEST(ManageCoordinator, ClosingTheWindowRechecksUnconfirmedReviews) {
    CoordinatorRig rig;
    std::optional<StudySave> saved;
    rig.manage->studyRecorder()->saveReview(false, "w2", [&](StudySave s) { saved = s; });
    ASSERT_TRUE(rig.open());
    const size_t before = rig.server->count("GET");
    gtk_window_close(rig.manage->window()->window());
    ASSERT_TRUE(rig.until([&] { return rig.manage->window()->window() == nullptr; }));
    rig.main->runAll();
    EXPECT_GT(rig.server->count("GET"), before);
}

TEST(ManageCoordinator, AFileDroppedOnThePageReachesTheProjectScreen) {
    CoordinatorRig rig;
    ManageScreenLink link(rig.port, rig.opener);
    link.listenForDrops();
    ASSERT_TRUE(rig.open());
    testing::DragSource source({"file:///tmp/paper.pdf", "file:///tmp/photo.png"});
    testing::dragBetween(source.centre(),
                         testing::onScreen(GTK_WIDGET(rig.manage->window()->webView()), 300, 300));
    ASSERT_TRUE(rig.until([&] { return rig.run("window.dropped") != std::nullopt; }))
        << rig.log.all();
    EXPECT_EQ(rig.run("window.dropped"), Json::parse(R"([{"name": "paper.pdf",
        "path": "/tmp/paper.pdf"}, {"name": "photo.png", "path": "/tmp/photo.png"}])"));
    EXPECT_TRUE(rig.log.has("drive", "놓인 파일 files=2 pdf=1"));
    EXPECT_FALSE(rig.log.contains("drive", "받지 않음"));
}

// A file whose name is not text, dragged from a file window, which keeps the keyboard through
// the drag: the alert that leaves it out answers the drop, above that window.
TEST(ManageCoordinator, TheAlertAboutADroppedFileNameComesAboveTheWindowItCameFrom) {
    using testing::DesktopSession;
    CoordinatorRig rig;
    ManageScreenLink link(rig.port, rig.opener);
    link.listenForDrops();
    ASSERT_TRUE(rig.open());
    testing::TestWindow files(
        {"--title", "파일", "--drag-file", "/tmp/\xff\xfe.pdf", "--at", "20,100"});
    ASSERT_TRUE(DesktopSession::activate(files.xid));
    ASSERT_TRUE(files.command("where-drag"));
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    ASSERT_EQ(std::sscanf(files.waitFor("at ").value_or("").c_str(), "at %d %d %d %d", &x, &y,
                          &width, &height),
              4);
    GtkWidget* view = GTK_WIDGET(rig.manage->window()->webView());
    testing::dragBetween({x + width / 2, y + height / 2},
                         testing::onScreen(view, gtk_widget_get_allocated_width(view) - 100, 300));
    GtkWidget* alert = nullptr;
    ASSERT_TRUE(rig.until([&] {
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w != nullptr; w = w->next) {
            if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data))) {
                alert = GTK_WIDGET(w->data);
            }
        }
        g_list_free(windows);
        return alert != nullptr;
    })) << rig.log.all();
    EXPECT_TRUE(DesktopSession::cameAbove(DesktopSession::windowOf(alert), files.xid))
        << DesktopSession::activeWindow();
    // Its one button speaks Korean whatever the locale.
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(alert), GTK_RESPONSE_OK);
    ASSERT_NE(button, nullptr);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button)), "확인");
    gtk_dialog_response(GTK_DIALOG(alert), GTK_RESPONSE_OK);
}

}  // namespace
}  // namespace parlendo
