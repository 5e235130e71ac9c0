#include <gtest/gtest.h>

#include "CoordinatorRig.h"
#include "FakeInputSource.h"
#include "LogCapture.h"
#include "foundation/PlatformWords.h"

#include <stdlib.h>

namespace parlendo {
namespace {

using namespace parlendo::testing;

TEST(AccountCoordinator, StartWiresTheSessionAndDeviceCareOnce) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    rig.coordinator->start();
    EXPECT_EQ(rig.care, std::vector<std::string>{"start"});
    EXPECT_EQ(rig.shutdown->taskNames(),
              std::vector<std::string>{"다시 시작 도우미(요청했을 때만)"});
    ASSERT_TRUE(rig.signOutForWipe);

    auto menu = rig.coordinator->menu();
    EXPECT_TRUE(menu.status.empty());
    EXPECT_TRUE(menu.actions.empty());
    EXPECT_EQ(menu.device, std::vector<MenuItemPtr>{rig.careItem});
    EXPECT_EQ(menu.cleanup, std::vector<MenuItemPtr>{rig.wipeItem});
    EXPECT_EQ(menu.account, std::vector<MenuItemPtr>{rig.coordinator->accountItem()});

    // Every sign-out drops the optional AI key.
    rig.signIn("u1");
    rig.secrets->items["optional_custom_ai_key"] = "k";
    rig.session->signOut(nullptr, [](LogoutOutcome) {});
    rig.settle();
    EXPECT_TRUE(rig.secrets->items.empty());
    EXPECT_TRUE(logs.has("account", "optional_key dropped=true"));

    // A sign-out waits for the pending saves the other modules count, not for the auth
    // runtime's own operations (the first counter), which the runtime drains itself.
    rig.shutdown->addCounter(
        [auth = rig.auth] { return static_cast<int>(auth->inFlightOperations()); });
    int pendingSaves = 0;
    rig.shutdown->addCounter([&] { return pendingSaves; });
    rig.signIn("u1");
    ASSERT_TRUE(rig.auth->beginOperation(*rig.auth->context(), true));
    std::optional<LogoutOutcome> outcome;
    pendingSaves = 1;
    rig.session->signOut(nullptr, [&](LogoutOutcome o) { outcome = o; });
    rig.settle();
    rig.clock->advance(0.1);
    EXPECT_FALSE(outcome);
    pendingSaves = 0;
    rig.auth->endOperation(true);
    rig.clock->advance(0.1);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->operationsDrained);
    EXPECT_EQ(logs.count("auth", "기다리던 저장 1건 · 남은 것 0건"), 1) << logs.all();
}

TEST(AccountCoordinator, AnUnreachableServerKeepsTheOfflineWindowAndRetriesOnATimer) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::network()));
    rig.restore();
    // Three attempts, 0.3 and 0.6 seconds apart.
    rig.clock->advance(0.9);
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show offline"});
    EXPECT_EQ(rig.marks,
              std::vector<std::string>{"session_restored ok=false state=offline_or_unavailable"});
    EXPECT_FALSE(rig.detect->state().loggedIn);
    // 5, 10, 20, 40, 60, 60 seconds; each restore makes its three attempts in under a second.
    for (double wait : {5.0, 10.0, 20.0, 40.0, 60.0}) {
        const size_t before = rig.transport->refreshTokens().size();
        rig.clock->advance(wait - 0.01);
        EXPECT_EQ(rig.transport->refreshTokens().size(), before);
        rig.clock->advance(0.91);
        EXPECT_EQ(rig.transport->refreshTokens().size(), before + 3);
    }
    const auto lines = logs.messages("account");
    std::vector<std::string> scheduled;
    for (const auto& line : lines) {
        if (line.rfind("restore retry scheduled", 0) == 0) {
            scheduled.push_back(line);
        }
    }
    ASSERT_EQ(scheduled.size(), 6u);
    EXPECT_EQ(scheduled[0], "restore retry scheduled in=5s n=1 why=offline");
    EXPECT_EQ(scheduled[1], "restore retry scheduled in=10s n=2 why=offline");
    EXPECT_EQ(scheduled[4], "restore retry scheduled in=60s n=5 why=offline");
    EXPECT_EQ(scheduled[5], "restore retry scheduled in=60s n=6 why=offline");
    EXPECT_EQ(rig.coordinator->retryCount(), 6);

    // The server answers again: the offline window closes and the chain ends.
    rig.transport->answerRefresh(testSession("u1"));
    rig.clock->advance(60);
    EXPECT_TRUE(rig.detect->state().loggedIn);
    EXPECT_EQ(rig.loginCalls().back(), "restored");
    EXPECT_EQ(rig.coordinator->retryCount(), 0);
    EXPECT_FALSE(rig.coordinator->retryArmed());
    const size_t refreshes = rig.transport->refreshTokens().size();
    rig.clock->advance(300);
    EXPECT_EQ(rig.transport->refreshTokens().size(), refreshes);
}

TEST(AccountCoordinator, ARunningServerBackoffSetsTheNextRetry) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    rig.auth->setBackoffRandom([] { return 1.0; });
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::server(503)));
    rig.restore();
    rig.clock->advance(1);
    // The last of the restore's attempts set a 15-second backoff.
    EXPECT_TRUE(logs.has("account", "restore retry scheduled in=15s n=1 why=server_backoff"));
    // The login window's own retry restarts the chain.
    rig.login->services.onRetry();
    rig.settle();
    rig.clock->advance(1);
    EXPECT_EQ(logs.count("account", "restore retry scheduled"), 2);
    EXPECT_EQ(rig.coordinator->retryCount(), 2);
}

TEST(AccountCoordinator, RestoreOutcomesDecideWhatTheUserSees) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    rig.restore();
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show signIn"});
    EXPECT_EQ(rig.marks.back(), "session_restored ok=false state=need_login");

    // A restore that succeeds while the login window shows sign-in leaves it alone.
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(testSession("u1"));
    rig.restore();
    EXPECT_TRUE(rig.detect->state().loggedIn);
    EXPECT_EQ(rig.login->shownMode, LoginModel::Mode::signIn);
    EXPECT_EQ(rig.marks.back(), "session_restored ok=true state=authenticated");
}

TEST(AccountCoordinator, TheSessionExpiresLoudlyOnlyAfterASignIn) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    // Lost before any sign-in in this run: only the detection state hears of it.
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    rig.session->restoreState([](RestoreOutcome) {});
    rig.settle();
    EXPECT_FALSE(rig.detect->state().loggedIn);
    EXPECT_TRUE(rig.notices.empty());
    EXPECT_EQ(rig.login, nullptr);

    rig.signIn("u1");
    EXPECT_TRUE(rig.detect->state().loggedIn);
    // The server refuses the token in the middle of a request's refresh.
    rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    rig.auth->recover([](AuthSessionResult) {});
    rig.settle();
    EXPECT_FALSE(rig.detect->state().loggedIn);
    EXPECT_EQ(rig.notices,
              std::vector<std::string>{"세션이 만료됐어요 · 다시 로그인해 주세요 3.0"});
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show signIn"});
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(AccountCoordinator, AccountScopeAndTheAppGateFollowSignIns) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    std::vector<std::string> owners;
    rig.scope->onAccountChange(
        "test", [&](const std::optional<std::string>& id) { owners.push_back(id.value_or("-")); });
    rig.server->ok("POST", "/rest/v1/rpc/app_gate_v1", R"({"flags":{}})");
    rig.signIn("u1");
    rig.session->signOut(nullptr, [](LogoutOutcome) {});
    rig.settle();
    rig.signIn("u2");
    EXPECT_EQ(owners, (std::vector<std::string>{"u1", "-", "u2"}));
    const auto calls = rig.server->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, "/rest/v1/rpc/app_gate_v1");
    EXPECT_EQ(calls[0].json, Json::object());
    EXPECT_DOUBLE_EQ(calls[0].timeout, 3.0);
    EXPECT_EQ(rig.gate->appGateState(), "ok");
}

TEST(AccountCoordinator, TheAccountItemLogsInOrOutAfterAQuestion) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    rig.coordinator->refreshMenu();
    EXPECT_EQ(rig.coordinator->accountItem()->title, "로그인 / 회원가입…");
    EXPECT_EQ(rig.care, (std::vector<std::string>{"start", "refresh"}));
    rig.coordinator->accountItem()->handler();
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show signIn"});

    rig.signIn("u1");
    rig.coordinator->refreshMenu();
    EXPECT_EQ(PlatformWords::render(rig.coordinator->accountItem()->title),
              "u1@example.com — 로그아웃…");
    rig.coordinator->accountItem()->handler();
    ASSERT_EQ(rig.alertMessage(), "로그아웃할까요?");
    EXPECT_EQ(rig.shownAlerts.back().buttons, (std::vector<std::string>{"로그아웃", "취소"}));
    rig.answer(1);
    EXPECT_TRUE(rig.auth->isLoggedIn());

    rig.detect->write([](DetectState& s) {
        s.permissionGranted = true;
        s.enabled = true;
    });
    rig.coordinator->accountItem()->handler();
    rig.answer(0);
    EXPECT_FALSE(rig.auth->isLoggedIn());
    EXPECT_FALSE(rig.detect->state().loggedIn);
    EXPECT_FALSE(rig.detect->state().enabled);
    EXPECT_EQ(rig.loginCalls().back(), "show signIn");
    EXPECT_TRUE(logs.has("auth", "로그아웃 결과 drained=true remote=true"));

    // Signed in without a known address.
    auto nameless = testSession("u2", "b");
    nameless.email.reset();
    rig.transport->answerSignIn(nameless);
    rig.session->signIn("x@example.com", "pw", [](Result<std::string, AccountError>) {});
    rig.settle();
    rig.coordinator->refreshMenu();
    EXPECT_EQ(PlatformWords::render(rig.coordinator->accountItem()->title), "로그인됨 — 로그아웃…");

    // The address is shown as it is, whatever words of the Mac it holds.
    auto mac = testSession("u3", "c");
    mac.email = "Mac.Kim@example.com";
    rig.transport->answerSignIn(mac);
    rig.session->signIn("Mac.Kim@example.com", "pw", [](Result<std::string, AccountError>) {});
    rig.settle();
    rig.coordinator->refreshMenu();
    EXPECT_EQ(PlatformWords::render(rig.coordinator->accountItem()->title),
              "Mac.Kim@example.com — 로그아웃…");
}

TEST(AccountCoordinator, ADeletedLookingAccountIsOfferedACleanUpOnce) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    FileDeletePendingStore(rig.state.path()).mark("u1");
    int forgotten = 0;
    rig.localData.registerForgetter("pages", [&](const std::string&) {
        ++forgotten;
        return true;
    });
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    rig.restore();
    EXPECT_EQ(rig.loginCalls(), std::vector<std::string>{"show signIn"});
    ASSERT_EQ(rig.alertMessage(), "계정이 삭제된 것으로 보여요");
    // While the question is up a second offer is not stacked.
    rig.restore();
    EXPECT_EQ(rig.alerts.size(), 1u);
    rig.answer(0);
    EXPECT_TRUE(logs.has("account", "cleanup offer declined"));
    EXPECT_EQ(forgotten, 0);

    rig.restore();
    ASSERT_EQ(rig.alerts.size(), 1u);
    rig.answer(1);
    EXPECT_EQ(forgotten, 1);
    EXPECT_EQ(rig.loginCalls().back(), "show signIn 이 Mac에 남은 계정 정보를 정리했어요.");
    EXPECT_FALSE(rig.coordinator->deletion()->cleanupOffered());
    rig.restore();
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(AccountCoordinator, WipingThisComputerSignsOutAndRunsTheTerminationTasks) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    std::vector<std::string> tasks;
    rig.shutdown->addTask("기록", [&] { tasks.push_back("기록"); });
    rig.signIn("u1");
    bool done = false;
    rig.signOutForWipe([&] { done = true; });
    rig.settle();
    EXPECT_TRUE(done);
    EXPECT_FALSE(rig.auth->isLoggedIn());
    EXPECT_FALSE(rig.detect->state().loggedIn);
    EXPECT_EQ(rig.care.back(), "relaunch");
    EXPECT_EQ(tasks, std::vector<std::string>{"기록"});
    EXPECT_EQ(rig.deletes->requestCount(), 0u);

    // Even when the reset fails, and even without the module, the wipe goes on.
    auto wipe = rig.signOutForWipe;
    rig.coordinator.reset();
    done = false;
    wipe([&] { done = true; });
    rig.settle();
    EXPECT_TRUE(done);
}

TEST(AccountCoordinator, TheManagePageGetsTheSessionAndAccountGroups) {
    LogCapture logs;
    CoordinatorRig rig;
    rig.coordinator->start();
    auto groups = rig.coordinator->bridgeRoutes();
    ASSERT_EQ(groups.size(), 2u);
    std::vector<std::string> names;
    for (const auto& group : groups) {
        for (const auto& [name, entry] : group->routes()) {
            EXPECT_TRUE(entry.isImplemented());
            names.push_back(name);
        }
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"login", "set_username", "sign_in", "sign_out", "sign_up",
                                        "delete_account", "forget_deleted_account",
                                        "resend_confirmation", "reset_local_state"}));

    // A failed page sign-in while a clean-up is offerable asks, on the main thread.
    FileDeletePendingStore(rig.state.path()).mark("u1");
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    rig.session->restoreState([](RestoreOutcome) {});
    rig.settle();
    rig.transport->answerSignIn(fail(AuthFailure::rejected("invalid_credentials")));
    std::optional<BridgeReply> reply;
    groups[0]->routes().at("sign_in").handler()(BridgeArgs::fromJson(Json{"u1@example.com", "x"}),
                                                [&](BridgeReply r) { reply = r; });
    rig.settle();
    EXPECT_EQ(reply, BridgeReply::authScreenFailed("AUTH_LOGIN_FAILED"));
    EXPECT_EQ(rig.alertMessage(), "계정이 삭제된 것으로 보여요");
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

// The module as the program builds it: over the environment, with device care.
TEST(AccountCoordinator, BuiltOverTheEnvironmentItAnswersLoginRequestsAndCarriesDeviceCare) {
    LogCapture logs;
    TempDir home;
    ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    auto clock = std::make_shared<FakeClock>();
    auto main = std::make_shared<ManualExecutor>(clock);
    AppEnvironment::Parts parts;
    parts.config.publicKey = "anon";
    parts.appVersion = "0.2.0";
    parts.main = main;
    parts.background = main;
    parts.clock = clock;
    parts.systemTheme = [] {
        return ThemeMode::light;
    };
    parts.inputSource = std::make_shared<FakeInputSource>();
    parts.authTransport = [](std::shared_ptr<ServerGate>) {
        return AppEnvironment::Parts::Auth{std::make_shared<FakeAuthTransport>(),
                                           std::make_shared<FakeAccountEndpoints>()};
    };
    parts.watchNetwork = [](std::shared_ptr<NetState>) {
    };
    parts.serverTransport = std::make_shared<FakeServerTransport>();
    parts.sessionStore = std::make_shared<FakeSessionStore>();
    parts.popupsChanged = [](const std::string&) {
    };
    const auto env = AppEnvironment::build(std::move(parts));

    DeviceCare::Platform care;
    care.main = main;
    care.clock = clock;
    care.wipeData = [](bool, const std::filesystem::path&, bool) {
        return std::vector<DeviceCare::WipeOutcome>{};
    };
    DeviceCare::Install install;
    install.stateRoot = home.path() / "PARLENDO";
    auto deviceCare =
        DeviceCare::make(install, care, std::make_shared<LoginItem>(home.path() / "autostart", ""));
    std::shared_ptr<RecordingLoginWindow> login;
    AccountCoordinator::Desktop desktop;
    desktop.deleteTransport = std::make_shared<FakeServerTransport>();
    desktop.alert = [](AccountAlert, Completion<void(int)> answer) {
        answer(0);
    };
    desktop.windows.login = [&](LoginModel::Services) {
        login = std::make_shared<RecordingLoginWindow>();
        return login;
    };
    desktop.care = deviceCare;
    auto coordinator = AccountCoordinator::make(env, desktop);

    env->requestLogin();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->calls, std::vector<std::string>{"show signIn"});
    const MenuItems items = coordinator->menu();
    EXPECT_EQ(items.device, deviceCare->menu().device);
    EXPECT_EQ(items.cleanup, std::vector<MenuItemPtr>{deviceCare->wipeItem()});
    EXPECT_EQ(items.account, std::vector<MenuItemPtr>{coordinator->accountItem()});

    coordinator->start();
    bool signedOut = false;
    deviceCare->signOutForWipe([&] { signedOut = true; });
    main->runAll();
    EXPECT_TRUE(signedOut);
    coordinator->restoreSession();
    main->runAll();
    EXPECT_TRUE(logs.contains("timing", "startup session_restored"));
    EXPECT_TRUE(logs.contains("timing", "ok=false state=need_login"));
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace parlendo
