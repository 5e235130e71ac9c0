#pragma once

#include "auth/AccountScope.h"
#include "auth/AccountSession.h"
#include "auth/AuthRuntime.h"
#include "auth/ProfileStore.h"
#include "capture/DetectStore.h"
#include "capture/InputHub.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "foundation/RuntimeConfig.h"
#include "manage/ManageScreenPort.h"
#include "popups/DefaultPopupSeeder.h"
#include "saving/UnsavedCounter.h"
#include "server/AuthTypes.h"
#include "server/NetState.h"
#include "server/ServerCalling.h"
#include "server/ServerClient.h"
#include "server/ServerGate.h"
#include "server/ServerTransport.h"
#include "shell/ShutdownGate.h"
#include "shell/StartupWindows.h"
#include "shell/ThemeStore.h"

#include <functional>
#include <memory>
#include <string>

namespace parlendo {

// The one object graph of shared services, built once by the program and handed to every
// feature module. It holds no logic of its own beyond construction. The callbacks start as
// closures that do nothing; each is replaced once by its owner, and modules call them through
// the environment at the moment of use. Main thread.
struct AppEnvironment {
    RuntimeConfig config;
    // The version string sent to the server.
    std::string appVersion;
    // The token owner; `session` is the same runtime as the services that act for the current
    // user read it.
    std::shared_ptr<AuthRuntime> auth;
    std::shared_ptr<SessionProviding> session;
    // The general server client, as the protocol; `client` is the same client (awaited calls),
    // `titleClient` the one for background calls that nobody waits for.
    std::shared_ptr<ServerCalling> server;
    std::shared_ptr<DetailedServerCalling> client;
    std::shared_ptr<DetailedServerCalling> titleClient;
    std::shared_ptr<AccountSession> account;
    std::shared_ptr<ProfileStore> profiles;
    std::shared_ptr<ServerGate> gate;
    std::shared_ptr<NetState> net;
    std::shared_ptr<DetectStore> detect;
    std::shared_ptr<InputHub> input;
    std::shared_ptr<AccountScope> accountScope;
    std::shared_ptr<ShutdownGate> shutdown;
    std::shared_ptr<UnsavedCounter> unsaved;
    // How code outside the manage window reaches its page.
    std::shared_ptr<ManageScreenPort> manageScreen;
    std::shared_ptr<DefaultPopupSeeder> popupDefaults;
    std::shared_ptr<ThemeStore> theme;
    // The windows of the start, shown one at a time.
    std::shared_ptr<StartupWindows> startupWindows = std::make_shared<StartupWindows>();
    // The main executor.
    ExecutorPtr main;

    // Shows a short notice for the given seconds (set by the capture module).
    std::function<void(const std::string& text, double seconds)> notice = [](const std::string&,
                                                                             double) {
    };
    // Asks for the login window (set by the account module).
    std::function<void()> requestLogin = [] {
    };
    // Asks for the accessibility permission window (set by the program at launch).
    std::function<void()> requestPermission = [] {
    };
    // Opens the manage window (set by the manage module).
    std::function<void()> openManage = [] {
    };

    // What the program hands over for building the environment: the validated profile, the
    // executors and clocks, and the platform's transports and stores, already made.
    struct Parts {
        RuntimeConfig config;
        std::string appVersion;
        ExecutorPtr main;
        // Where the auth runtime's and the account session's blocking store steps run.
        ExecutorPtr background;
        std::shared_ptr<Clock> clock;
        // The system appearance's mode now.
        std::function<ThemeMode()> systemTheme;
        std::shared_ptr<InputEventSource> inputSource;
        // The auth service's transport, made over the gate it reports contract answers to; it
        // also serves as the account session's endpoints.
        struct Auth {
            std::shared_ptr<AuthTransport> transport;
            std::shared_ptr<AccountEndpoints> endpoints;
        };
        std::function<Auth(std::shared_ptr<ServerGate>)> authTransport;
        // Starts feeding the network state from the system's network monitor.
        std::function<void(std::shared_ptr<NetState>)> watchNetwork;
        std::shared_ptr<ServerTransport> serverTransport;
        std::shared_ptr<SessionStore> sessionStore;
        // The serial queue on which the session store is read, written and cleared (none: it is
        // written on the caller's thread and read on the background executor).
        ExecutorPtr sessionStoreQueue;
        // Where popup-setting changes are announced (the manage signal by default).
        DefaultPopupSeeder::Changed popupsChanged = DefaultPopupSeeder::announceChange();
    };

    // Builds every shared service, in dependency order, and registers the first shutdown counter
    // (the auth runtime's awaited operations).
    static std::shared_ptr<AppEnvironment> build(Parts parts);
};

}  // namespace parlendo
