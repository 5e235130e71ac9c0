// A keyring that stops answering, behind the real Secret Service keychain: signing out, deleting
// the account, wiping this computer's data and adopting a recovery link all finish within their
// keychain deadlines, say what they could not clear or keep, and never hold the main loop.
#include "FakeAccountEndpoints.h"
#include "FakeAuthTransport.h"
#include "FakeServerCalling.h"
#include "FakeServerTransport.h"
#include "LogCapture.h"
#include "SilentSecretService.h"
#include "TempDir.h"
#include "account/AccountCoordinator.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainSetup.h"
#include "foundation/LibsecretKeychain.h"
#include "shell/DeviceCare.h"
#include "shell/StallWatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace parlendo {
namespace {

using namespace parlendo::testing;

// Exit codes of a flow run in its own process.
enum Code { ok = 0, noService = 2, noAnswer = 3, wrongAnswer = 4, tooLate = 5, mainLoopHeld = 6 };

struct RecordingLogin final : LoginWindowPort {
    std::vector<std::string> shown;
    void show(LoginModel::Mode, const std::optional<std::string>& notice) override {
        shown.push_back(notice.value_or(""));
    }
    void restored() override {}
    void hide() override {}
};

// The account module over the real auth runtime, account session and Secret Service keychain
// (its calls on the program's keychain queue), with the network and windows faked. It must be
// made first in a fresh process: the silent service becomes the process's session bus.
struct SilentKeyringRig {
    SilentSecretService service;
    LogCapture logs;
    TempDir state;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<FakeAuthTransport> transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<KeychainSessionStore> store = std::make_shared<KeychainSessionStore>();
    std::shared_ptr<AuthRuntime> auth;
    std::shared_ptr<AccountSession> session;
    std::shared_ptr<FakeAccountEndpoints> endpoints = std::make_shared<FakeAccountEndpoints>();
    std::shared_ptr<FakeServerTransport> deletes = std::make_shared<FakeServerTransport>();
    std::shared_ptr<RecordingLogin> login = std::make_shared<RecordingLogin>();
    std::shared_ptr<ShutdownGate> shutdown = std::make_shared<ShutdownGate>();
    AccountLocalData localData;
    std::shared_ptr<DeviceCare> care;
    std::vector<DeviceCare::Alert> careAlerts;
    // The account module's alerts, each answered with its first button.
    std::vector<AccountAlert> alerts;
    std::shared_ptr<AccountCoordinator> coordinator;
    std::shared_ptr<StallWatch> watch;
    std::chrono::steady_clock::time_point started;

    SilentKeyringRig() {
        Keychain::setBackend(std::make_shared<LibsecretKeychain>());
        auto queue = KeychainSetup::queue();
        auth = AuthRuntime::make({transport, store, nullptr, nullptr, main, main, queue});
        session = AccountSession::make({auth, endpoints, store, main, queue, nullptr});
        makeCare();
        AccountCoordinator::Services services;
        services.auth = auth;
        services.account = session;
        services.detect = std::make_shared<DetectStore>();
        services.accountScope = std::make_shared<AccountScope>();
        services.gate = std::make_shared<ServerGate>();
        services.server = std::make_shared<FakeServerCalling>();
        services.shutdown = shutdown;
        services.main = main;
        services.notice = [](const std::string&, double) {
        };
        services.deleteTransport = deletes;
        services.apiKey = "anon";
        services.appVersion = "0.2.0";
        services.stateRoot = state.path();
        services.localData = &localData;
        services.secrets = std::make_shared<KeychainSecretStore>();
        services.keychain = KeychainCall{queue, main};
        services.alert = [this](AccountAlert alert, Completion<void(int)> answer) {
            alerts.push_back(std::move(alert));
            main->post([answer = std::move(answer)]() mutable { answer(0); });
        };
        services.windows.login = [login = login](LoginModel::Services) {
            return login;
        };
        services.care = AccountCoordinator::careOf(care);
        services.care.start = nullptr;  // no install checks here
        coordinator = AccountCoordinator::make(std::move(services));
        coordinator->start();
    }

    // Device care with the wipe's keychain removals, its alerts answered "지우고 종료".
    void makeCare() {
        DeviceCare::Platform platform;
        platform.alert = [this](DeviceCare::Alert alert,
                                Completion<void(DeviceCare::Answer)> done) {
            careAlerts.push_back(alert);
            done(DeviceCare::Answer{1, false});
        };
        platform.terminate = [](Completion<void(bool)> done) {
            done(true);
        };
        platform.exitNow = [](int) {
        };
        DeviceCare::removeFromKeychain(platform, KeychainCall{KeychainSetup::queue(), main});
        platform.wipeData = [](bool, const std::filesystem::path&, bool) {
            return std::vector<DeviceCare::WipeOutcome>{};
        };
        platform.logDirectory = [this] {
            return state.path() / "logs";
        };
        platform.logAppOwned = [] {
            return false;
        };
        platform.main = main;
        platform.clock = SystemClock::shared();
        care = DeviceCare::make(
            {}, std::move(platform),
            std::make_shared<LoginItem>(state.path() / "autostart.desktop", "/usr/bin/parlendo"));
    }

    // Signs in (the save of the login waits on the silent keyring), then starts the clock and the
    // main loop's watch.
    void signIn() {
        transport->answerSignIn(testSession("user-1"));
        session->signIn("user-1@example.com", "pw", [](Result<std::string, AccountError>) {});
        watch = StallWatch::start(main, SystemClock::shared());
        started = std::chrono::steady_clock::now();
    }

    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    // Turns the main loop until `done`, for at most `seconds` after the start.
    bool pumpUntil(const std::function<bool()>& done, double seconds) {
        while (!done() && elapsed() < seconds) {
            g_main_context_iteration(nullptr, TRUE);
        }
        return done();
    }

    // The end of a flow that answered after `took` seconds: too late past `limit`, and the main
    // loop never late by more than half a second meanwhile (its next turns measure the last).
    int judge(double took, double limit) {
        pumpUntil([] { return false; }, elapsed() + 0.3);
        std::fprintf(stderr, "finished after %.2f s, longest main loop stall %.0f ms\n", took,
                     watch->longest() * 1000);
        if (took > limit) {
            return tooLate;
        }
        return watch->longest() > 0.5 ? mainLoopHeld : ok;
    }
};

// Every wait of a flow on the keychain is one deadline; a busy machine may add a little.
constexpr double slack = 3.0;

int signOutWithASilentKeyring() {
    SilentKeyringRig rig;
    if (!rig.service.owned()) {
        return noService;
    }
    rig.signIn();
    rig.coordinator->accountItem()->handler();
    if (!rig.pumpUntil([&] { return !rig.login->shown.empty(); }, 300)) {
        return noAnswer;
    }
    const double took = rig.elapsed();
    if (rig.login->shown.back() != AccountNotices::loginNotCleared || rig.auth->isLoggedIn()) {
        return wrongAnswer;
    }
    // The key is dropped after the sign-out, nobody waiting for it.
    if (!rig.pumpUntil([&] { return rig.logs.contains("account", "optional_key dropped="); },
                       took + KeychainCall::defaultDeadline + slack) ||
        !rig.logs.has("account", "optional_key dropped=false — 키체인이 답하지 않음")) {
        return wrongAnswer;
    }
    return rig.judge(took, KeychainCall::defaultDeadline + slack);
}

int deleteWithASilentKeyring() {
    SilentKeyringRig rig;
    if (!rig.service.owned()) {
        return noService;
    }
    rig.deletes->scriptHttp("/functions/v1/delete-account", 200, R"({"status":"deleted"})");
    rig.signIn();
    std::optional<RemovalResult> result;
    rig.coordinator->deletion()->deleteAccount("pw", nullptr,
                                               [&](RemovalResult r) { result = std::move(r); });
    if (!rig.pumpUntil([&] { return result.has_value(); }, 300)) {
        return noAnswer;
    }
    const double took = rig.elapsed();
    if (!*result || (**result)["deleted"] != true ||
        (**result)["credentials_absent_verified"] != false ||
        (**result)["optional_key_removed"] != false || rig.auth->isLoggedIn()) {
        return wrongAnswer;
    }
    // The token's clear, then the key: two waits.
    return rig.judge(took, 2 * KeychainCall::defaultDeadline + slack);
}

int wipeWithASilentKeyring() {
    SilentKeyringRig rig;
    if (!rig.service.owned()) {
        return noService;
    }
    rig.signIn();
    rig.care->wipeItem()->handler();
    if (!rig.pumpUntil([&] { return rig.careAlerts.size() == 2; }, 300)) {
        return noAnswer;
    }
    const double took = rig.elapsed();
    if (rig.careAlerts[1].informative.rfind("지우지 못한 것: login_token, optional_key\n", 0) !=
            0 ||
        !rig.logs.contains("account", "reset_local failed") || rig.auth->isLoggedIn()) {
        std::fprintf(stderr, "%s\n", rig.careAlerts[1].informative.c_str());
        return wrongAnswer;
    }
    // The sign-out's clear and the key drop of the reset, then the wipe's removals side by side.
    return rig.judge(took, 3 * KeychainCall::defaultDeadline + slack);
}

int adoptALinkWithASilentKeyring() {
    SilentKeyringRig rig;
    if (!rig.service.owned()) {
        return noService;
    }
    rig.endpoints->exchangeAnswer = testSession("user-2", "link");
    rig.signIn();
    rig.coordinator->open(
        "parlendo://auth-callback#access_token=a&refresh_token=refresh-link&type=recovery");
    if (!rig.pumpUntil([&] { return !rig.coordinator->handlingLink(); }, 300)) {
        return noAnswer;
    }
    // The sign-out's clear, then the write of the link's login.
    const int judged = rig.judge(rig.elapsed(), 2 * KeychainCall::defaultDeadline + slack);
    if (judged != ok) {
        return judged;
    }
    // Failed, signed out, the link's login never restored.
    if (rig.alerts.empty() || rig.alerts.back() != AccountAlert::adoptFailed() ||
        rig.auth->isLoggedIn() || !rig.transport->refreshTokens().empty() ||
        !rig.logs.contains("account", "recovery_link token not stored attempt=1")) {
        return wrongAnswer;
    }
    return ok;
}

// Each flow in a fresh process; the keychain queue may still wait on the bus when it ends.
TEST(SilentKeyringAccount, SigningOutFinishesAndSaysTheLoginWasNotCleared) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(::_exit(signOutWithASilentKeyring()), ::testing::ExitedWithCode(ok), "");
}

TEST(SilentKeyringAccount, DeletingTheAccountFinishesAndSaysWhatWasNotCleared) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(::_exit(deleteWithASilentKeyring()), ::testing::ExitedWithCode(ok), "");
}

TEST(SilentKeyringAccount, WipingThisComputerFinishesAndNamesWhatRemained) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(::_exit(wipeWithASilentKeyring()), ::testing::ExitedWithCode(ok), "");
}

TEST(SilentKeyringAccount, AdoptingARecoveryLinkFinishesAndSaysItFailed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(::_exit(adoptALinkWithASilentKeyring()), ::testing::ExitedWithCode(ok), "");
}

}  // namespace
}  // namespace parlendo
