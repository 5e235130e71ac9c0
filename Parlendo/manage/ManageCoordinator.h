#pragma once

#include "auth/AccountScope.h"
#include "capture/DetectStore.h"
#include "foundation/Executor.h"
#include "manage/BridgeRouter.h"
#include "manage/FeedbackSender.h"
#include "manage/ManageBridge.h"
#include "manage/ManageScreenPort.h"
#include "manage/ManageView.h"
#include "manage/SystemOpening.h"
#include "manage/ThemeMode.h"
#include "manage/UIErrorLog.h"
#include "manage/UIFonts.h"
#include "manage/ViewSettingsStore.h"
#include "popups/ConnectionSettings.h"
#include "popups/DefaultPopupSeeder.h"
#include "popups/PopupDraftService.h"
#include "popups/PopupSettingsStore.h"
#include "saving/ServerStudyRecorder.h"
#include "server/AuthTypes.h"
#include "server/CurlSession.h"
#include "server/ServerCalling.h"
#include "shell/ThemeStore.h"
#include "wordbook/LibraryReader.h"
#include "wordbook/LibraryWriter.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// What the manage module takes from the application's environment.
struct ManageServices {
    std::shared_ptr<ServerCalling> server;          // the data client
    std::shared_ptr<DetailedServerCalling> client;  // the edge-function client (feedback)
    std::shared_ptr<SessionProviding> auth;         // the session of every server-backed service
    std::string appVersion;
    std::function<ThemeMode()> themeMode;  // the theme store's mode at the time of the call
    // Registers an observer of the theme store's announced modes.
    std::function<void(std::function<void(ThemeMode)>)> observeTheme;
    // The theme store the page reads and pins; without it the appearance calls are not served.
    std::shared_ptr<ThemeStore> theme;
    std::shared_ptr<ManageScreenPort> manageScreen;
    std::shared_ptr<AccountScope> accountScope;
    std::shared_ptr<DetectStore> detect;
    std::shared_ptr<DefaultPopupSeeder> popupDefaults;  // the environment's seeder
    ExecutorPtr main;
    // Where the AI key's keychain calls run (the program's keychain queue when empty).
    ExecutorPtr keychain;
    // Left empty, these are the program's own: the keychain, the draft request over curl, the
    // desktop's opener, the installed resources and their manage.html.
    std::shared_ptr<SecretStore> secrets;
    std::shared_ptr<CurlSession> curl;  // the program's one curl session
    std::shared_ptr<DraftTransport> draftTransport;
    std::shared_ptr<SystemOpening> opener;
    std::optional<std::filesystem::path> resources;
    std::optional<std::filesystem::path> page;
    std::optional<bool> webInspector;  // on outside release mode when left empty
    // Builds the window; the program's draws with the web views it loads on first need.
    ManageView::Factory makeWindow;
};

// The manage module: builds on first need the manage bridge over a router of every module's route
// groups and the manage window; contributes the manage module's route groups with their services;
// fills in the manage-screen port; pushes theme and sign-in changes into a loaded page; clears
// per-user state of two services when the account changes; and asks the study recorder to settle
// unconfirmed saves when the window closes. Main thread only.
class ManageCoordinator : public std::enable_shared_from_this<ManageCoordinator> {
  public:
    static constexpr const char* openItemTitle = "관리 창 열기…";
    static constexpr const char* openItemKey = "m";

    static std::shared_ptr<ManageCoordinator> make(ManageServices services);

    // Every module's route groups in module order (capture, AI talk, manage, account); read once,
    // when the bridge is first needed. The delegate sets it before that.
    std::function<BridgeRouter::Groups()> allRoutes = [] {
        return BridgeRouter::Groups{};
    };

    void start();
    // The manage module's groups, built anew on each read over the lazy services.
    BridgeRouter::Groups bridgeRoutes();
    // Shows the window (the environment's `openManage` and the menu item's handler).
    std::function<void()> openManage();

    std::shared_ptr<ManageBridge> bridge();
    std::shared_ptr<ManageView> window();
    bool windowBuilt() const { return window_ != nullptr; }

    const std::shared_ptr<UIErrorLog>& uiErrors() const { return uiErrors_; }
    const std::shared_ptr<SharedUIFonts>& fonts() const { return fonts_; }
    std::shared_ptr<ServerStudyRecorder> studyRecorder();
    std::shared_ptr<ServerPopupSettingsStore> popupSettings();
    std::shared_ptr<ConnectionSettings> connection();
    std::shared_ptr<PopupDraftService> draft();
    std::shared_ptr<FeedbackSender> feedback();
    std::shared_ptr<LibraryReader> library();
    std::shared_ptr<LibraryWriter> libraryWriter();
    std::shared_ptr<ViewSettingsStore> viewSettings();

  private:
    explicit ManageCoordinator(ManageServices services);
    // The appearance calls over the theme store and the program's fonts.
    std::shared_ptr<const BridgeRoutes> appearance() const;

    ManageServices services_;
    std::shared_ptr<ManageBridge> bridge_;
    std::shared_ptr<ManageView> window_;
    std::shared_ptr<ServerStudyRecorder> studyRecorder_;
    std::shared_ptr<ServerPopupSettingsStore> popupSettings_;
    std::shared_ptr<ConnectionSettings> connection_;
    std::shared_ptr<PopupDraftService> draft_;
    std::shared_ptr<FeedbackSender> feedback_;
    std::shared_ptr<LibraryReader> library_;
    std::shared_ptr<LibraryWriter> libraryWriter_;
    std::shared_ptr<ViewSettingsStore> viewSettings_;
    std::shared_ptr<UIErrorLog> uiErrors_ = std::make_shared<UIErrorLog>();
    std::shared_ptr<SharedUIFonts> fonts_;
};

}  // namespace parlendo
