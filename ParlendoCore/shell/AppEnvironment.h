#pragma once

#include "auth/AccountScope.h"
#include "capture/DetectStore.h"
#include "capture/InputHub.h"
#include "foundation/Executor.h"
#include "foundation/RuntimeConfig.h"
#include "popups/DefaultPopupSeeder.h"
#include "saving/UnsavedCounter.h"
#include "server/AuthTypes.h"
#include "server/NetState.h"
#include "server/ServerCalling.h"
#include "server/ServerClient.h"
#include "server/ServerGate.h"
#include "shell/ShutdownGate.h"

#include <functional>
#include <memory>
#include <string>

namespace parlendo {

// The one object graph of shared services, built once by the program and handed to every
// feature module. It holds no logic of its own. The callbacks start as closures that do
// nothing; each is replaced once by its owner, and modules call them through the environment at
// the moment of use. Main thread.
struct AppEnvironment {
    RuntimeConfig config;
    // The version string sent to the server.
    std::string appVersion;
    // The signed-in account, as the services that act for the current user read it (the auth
    // runtime in the application).
    std::shared_ptr<SessionProviding> session;
    // The general server client, as the protocol; `client` is the same client (awaited calls),
    // `titleClient` the one for background calls that nobody waits for.
    std::shared_ptr<ServerCalling> server;
    std::shared_ptr<DetailedServerCalling> client;
    std::shared_ptr<DetailedServerCalling> titleClient;
    std::shared_ptr<ServerGate> gate;
    std::shared_ptr<NetState> net;
    std::shared_ptr<DetectStore> detect;
    std::shared_ptr<InputHub> input;
    std::shared_ptr<AccountScope> accountScope;
    std::shared_ptr<ShutdownGate> shutdown;
    std::shared_ptr<UnsavedCounter> unsaved;
    std::shared_ptr<DefaultPopupSeeder> popupDefaults;
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
};

}  // namespace parlendo
