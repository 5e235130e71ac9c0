#pragma once

#include "account/AccountAlert.h"
#include "account/AccountDeletion.h"
#include "account/AccountWindows.h"
#include "auth/AccountLocalData.h"
#include "auth/AccountScope.h"
#include "auth/AccountSession.h"
#include "auth/AuthRuntime.h"
#include "auth/ProfileStore.h"
#include "capture/DetectStore.h"
#include "foundation/Executor.h"
#include "foundation/KeychainCall.h"
#include "popups/ConnectionSettings.h"
#include "server/ServerCalling.h"
#include "server/ServerGate.h"
#include "server/ServerTransport.h"
#include "shell/AppEnvironment.h"
#include "shell/DeviceCare.h"
#include "shell/FeatureModule.h"
#include "shell/ShutdownGate.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The account feature module. It turns the start-up restore of the stored login into what the
// user sees (nothing, the login window, or the offline window with a timed retry while the server
// cannot be reached); keeps the detection state, the account scope and the retry in step with the
// account session; reads the server's app gate once after the first sign-in; owns the account
// menu item (log in, or log out after a question) and carries device care's items; offers to clean
// this computer up when the account seems deleted; handles the links of confirmation and recovery
// mails; and gives the manage page the session and account call groups.
// Main thread; lives in a shared_ptr, and everything it hands out holds it weakly.
class AccountCoordinator final : public FeatureModule,
                                 public std::enable_shared_from_this<AccountCoordinator> {
  public:
    static constexpr const char* relaunchTask = "다시 시작 도우미(요청했을 때만)";
    static constexpr double appGateTimeout = 3.0;
    static constexpr const char* appGatePlatform = "mac";

    // Device care, whose items sit in the account module's sections and which the module starts.
    struct Care {
        // Its device and clean-up items.
        MenuItems menu;
        std::function<void()> start;
        std::function<void()> refreshMenu;
        std::function<void()> launchRelaunchHelperIfRequested;
        // Installs what runs before this computer's data is wiped: sign out, forget the stored
        // login, run the termination tasks, then let the wipe go on.
        std::function<void(std::function<void(Completion<void()>)>)> setSignOutForWipe;
    };

    struct Services {
        std::shared_ptr<AuthRuntime> auth;
        std::shared_ptr<AccountSession> account;
        std::shared_ptr<ProfileStore> profiles;
        std::shared_ptr<DetectStore> detect;
        std::shared_ptr<AccountScope> accountScope;
        std::shared_ptr<ServerGate> gate;
        // The general server client (the app-gate read).
        std::shared_ptr<ServerCalling> server;
        std::shared_ptr<ShutdownGate> shutdown;
        ExecutorPtr main;
        // Shows a short notice for some seconds.
        std::function<void(const std::string& text, double seconds)> notice;
        // Logs a start-up milestone once per process (name, detail).
        std::function<void(const std::string& name, const std::string& detail)> mark;
        // The start's windows: the login window the restore asks for opens after those before
        // it (none: at once).
        std::shared_ptr<StartupWindows> startup;

        // The account deletion: its transport (30-second requests that do not wait for a
        // connection), the public key, the version sent, and where its record lives.
        std::shared_ptr<ServerTransport> deleteTransport;
        std::string apiKey;
        std::string appVersion;
        std::filesystem::path stateRoot;
        // The per-user forgetters (the process-wide registry when none), and where a deletion
        // runs them, off the main loop (none: on it).
        AccountLocalData* localData = nullptr;
        ExecutorPtr files;
        // Where the optional AI key is kept (the keychain when none), and where it is asked: on
        // the keychain queue, waited for until the call's deadline (no queue: at once).
        std::shared_ptr<SecretStore> secrets;
        KeychainCall keychain;

        AccountAlert::Port alert;
        AccountWindows windows;
        Care care;
    };

    // What the desktop adds to the environment's services.
    struct Desktop {
        std::shared_ptr<ServerTransport> deleteTransport;
        // The keychain queue.
        ExecutorPtr keychain;
        // Where a deletion removes the user's files.
        ExecutorPtr files;
        AccountAlert::Port alert;
        AccountWindows windows;
        std::shared_ptr<DeviceCare> care;
    };

    static std::shared_ptr<AccountCoordinator> make(Services services);
    // The module over the environment's shared services: it becomes the environment's way to ask
    // for the login window, and it marks the "session_restored" start-up milestone.
    static std::shared_ptr<AccountCoordinator> make(const std::shared_ptr<AppEnvironment>& env,
                                                    Desktop desktop);
    // Device care's part in the module: its items, its start and its wipe's sign-out.
    static Care careOf(const std::shared_ptr<DeviceCare>& care);

    // FeatureModule
    void start() override;
    BridgeRouteGroups bridgeRoutes() const override;
    MenuItems menu() const override;
    void refreshMenu() override;
    void menuWillOpen() override {}

    // Starts the restore routing on the main executor (once at launch; again from the login
    // window's retry and the retry timer).
    void restoreSession();
    // An opened "parlendo:" link.
    void open(const std::string& url);
    // Shows the login window for signing in (the environment's login request).
    void requestLogin();

    std::shared_ptr<AccountDeletion> deletion();
    const MenuItemPtr& accountItem() const { return accountItem_; }
    int retryCount() const { return retryCount_; }
    bool retryArmed() const { return retryArmed_; }
    bool handlingLink() const { return handlingLink_; }

  private:
    explicit AccountCoordinator(Services services);
    StopWork stopWork();
    void setLoggedIn(bool loggedIn);
    std::shared_ptr<LoginWindowPort> loginWindow();
    std::shared_ptr<NewPasswordWindowPort> newPasswordWindow();
    void showLogin(const std::optional<std::string>& notice = std::nullopt);
    // The restore's login window, after the start's windows before it.
    void showAfterStartWindows(LoginModel::Mode mode);
    // Removes the stored optional AI key and its owner on the keychain queue; true when they are
    // known to be gone, false when they are not or the keychain did not answer in time.
    void dropKey(Completion<void(bool)> done);

    void authChanged();
    void sessionLost();
    void routeRestore(RestoreOutcome outcome);
    void stopRetry();
    void scheduleRetry();
    void loggedIn();
    void accountAction();
    void offerCleanupIfNeeded();
    void signOutForWipe(Completion<void()> done);

    // Recovery links (AccountLinks.cpp).
    void recover(const std::string& refreshToken, Completion<void()> done);
    void adopt(RecoveryCandidate candidate, Completion<void()> done);
    void passwordChanged();

    Services services_;
    std::shared_ptr<LoginWindowPort> loginWindow_;
    std::shared_ptr<NewPasswordWindowPort> newPasswordWindow_;
    MenuItemPtr accountItem_;
    std::shared_ptr<AccountDeletion> deletion_;
    int retryCount_ = 0;
    bool retryArmed_ = false;
    std::uint64_t retryTimer_ = 0;
    bool everLoggedIn_ = false;
    bool askingCleanup_ = false;
    bool handlingLink_ = false;
    bool linkProfileReady_ = true;
    bool started_ = false;
};

}  // namespace parlendo
