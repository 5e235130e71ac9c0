#pragma once

#include <gtest/gtest.h>

#include "AccountRig.h"
#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeServerTransport.h"
#include "TempDir.h"
#include "account/AccountCoordinator.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The login window as the coordinator sees it: what it was asked, and whether it is on screen.
struct RecordingLoginWindow final : LoginWindowPort {
    LoginModel::Services services;
    std::vector<std::string> calls;
    std::optional<LoginModel::Mode> shownMode;

    void show(LoginModel::Mode mode, const std::optional<std::string>& notice) override {
        static const char* names[] = {"signIn", "signUp", "offline"};
        calls.push_back(std::string("show ") + names[static_cast<int>(mode)] +
                        (notice ? " " + *notice : ""));
        shownMode = mode;
    }
    void restored() override {
        calls.push_back("restored");
        if (shownMode == LoginModel::Mode::offline) {
            shownMode.reset();
        }
    }
    void hide() override {
        calls.push_back("hide");
        shownMode.reset();
    }
};

struct RecordingPasswordWindow final : NewPasswordWindowPort {
    std::function<void()> onDone;
    int shows = 0;
    void show() override { ++shows; }
};

// The account module over the real account session, with every platform piece recorded: the
// alerts wait for the test's answer, the windows and notices are lists of what was asked.
struct CoordinatorRig : AccountRig {
    std::shared_ptr<DetectStore> detect = std::make_shared<DetectStore>();
    std::shared_ptr<AccountScope> scope = std::make_shared<AccountScope>();
    std::shared_ptr<ServerGate> gate = std::make_shared<ServerGate>(
        [c = clock] { return c->uptime(); }, [c = clock] { return c->now(); });
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<ShutdownGate> shutdown = std::make_shared<ShutdownGate>();
    std::shared_ptr<FakeServerTransport> deletes = std::make_shared<FakeServerTransport>();
    TempDir state;
    AccountLocalData localData;
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();

    std::vector<std::string> notices;
    std::vector<std::string> marks;
    std::deque<std::pair<AccountAlert, Completion<void(int)>>> alerts;
    std::vector<AccountAlert> shownAlerts;
    std::shared_ptr<RecordingLoginWindow> login;
    std::shared_ptr<RecordingPasswordWindow> password;
    std::vector<std::string> care;
    std::function<void(Completion<void()>)> signOutForWipe;
    MenuItemPtr careItem = std::make_shared<MenuItem>();
    MenuItemPtr wipeItem = std::make_shared<MenuItem>();
    std::shared_ptr<AccountCoordinator> coordinator;

    // Alerts the test left open are dismissed without an answer, on purpose.
    ~CoordinatorRig() {
        for (auto& [alert, answer] : alerts) {
            answer.drop("the test ended with the alert still open");
        }
    }

    CoordinatorRig() {
        AccountCoordinator::Services services;
        services.auth = auth;
        services.account = session;
        services.profiles = profiles;
        services.detect = detect;
        services.accountScope = scope;
        services.gate = gate;
        services.server = server;
        services.shutdown = shutdown;
        services.main = main;
        services.notice = [this](const std::string& text, double seconds) {
            notices.push_back(text + " " + std::to_string(seconds).substr(0, 3));
        };
        services.mark = [this](const std::string& name, const std::string& detail) {
            marks.push_back(name + " " + detail);
        };
        services.deleteTransport = deletes;
        services.apiKey = "anon";
        services.appVersion = "0.2.0";
        services.stateRoot = state.path();
        services.localData = &localData;
        services.secrets = secrets;
        services.alert = [this](AccountAlert alert, Completion<void(int)> answer) {
            shownAlerts.push_back(alert);
            alerts.emplace_back(std::move(alert), std::move(answer));
        };
        services.windows.login = [this](LoginModel::Services s) {
            login = std::make_shared<RecordingLoginWindow>();
            login->services = std::move(s);
            return login;
        };
        services.windows.newPassword = [this](std::shared_ptr<AccountService>,
                                              std::function<void()> onDone, ExecutorPtr) {
            password = std::make_shared<RecordingPasswordWindow>();
            password->onDone = std::move(onDone);
            return password;
        };
        services.care.menu.device = {careItem};
        services.care.menu.cleanup = {wipeItem};
        services.care.start = [this] {
            care.push_back("start");
        };
        services.care.refreshMenu = [this] {
            care.push_back("refresh");
        };
        services.care.launchRelaunchHelperIfRequested = [this] {
            care.push_back("relaunch");
        };
        services.care.setSignOutForWipe = [this](std::function<void(Completion<void()>)> f) {
            signOutForWipe = std::move(f);
        };
        coordinator = AccountCoordinator::make(std::move(services));
    }

    // Answers the oldest alert with a button index.
    void answer(int button) {
        ASSERT_FALSE(alerts.empty());
        auto completion = std::move(alerts.front().second);
        alerts.pop_front();
        completion(button);
        settle();
    }
    std::string alertMessage() const { return alerts.empty() ? "" : alerts.front().first.message; }
    std::vector<std::string> loginCalls() const {
        return login ? login->calls : std::vector<std::string>{};
    }
    void restore() {
        coordinator->restoreSession();
        settle();
    }
};

}  // namespace parlendo::testing
