#include "shell/AppEnvironment.h"

#include "auth/ServerProfileStore.h"
#include "capture/SyntheticCopyLedger.h"
#include "server/NetNotingAuthTransport.h"

namespace parlendo {

std::shared_ptr<AppEnvironment> AppEnvironment::build(Parts parts) {
    auto env = std::make_shared<AppEnvironment>();
    env->main = parts.main;
    env->gate = std::make_shared<ServerGate>();
    env->net = std::make_shared<NetState>();
    // Detection starts off and healthy, waiting for the permission and a signed-in account.
    env->detect = std::make_shared<DetectStore>();
    env->input =
        std::make_shared<InputHub>(parts.inputSource, std::make_shared<SyntheticCopyLedger>());
    env->accountScope = std::make_shared<AccountScope>();
    env->shutdown = std::make_shared<ShutdownGate>();
    env->unsaved = std::make_shared<UnsavedCounter>();
    env->manageScreen = std::make_shared<ManageScreenPort>();
    env->theme = std::make_shared<ThemeStore>(parts.systemTheme);

    env->config = std::move(parts.config);
    env->appVersion = std::move(parts.appVersion);

    const Parts::Auth authParts = parts.authTransport(env->gate);
    auto clock = parts.clock;
    env->auth = AuthRuntime::make(AuthRuntime::Services{
        std::make_shared<NetNotingAuthTransport>(authParts.transport, env->net),
        parts.sessionStore,
        clock,
        clock,
        parts.main,
        parts.background,
        parts.sessionStoreQueue,
    });
    env->session = env->auth;
    if (parts.watchNetwork) {
        parts.watchNetwork(env->net);
    }

    const auto deliver = ServerClient::deliverOn(parts.main);
    auto client =
        std::make_shared<ServerClient>(parts.serverTransport, env->auth, env->config.publicKey,
                                       deliver, true, env->gate, env->net);
    env->client = client;
    env->titleClient =
        std::make_shared<ServerClient>(parts.serverTransport, env->auth, env->config.publicKey,
                                       deliver, false, env->gate, env->net);
    env->server = client;
    env->popupDefaults =
        DefaultPopupSeeder::make(env->server, env->auth, std::move(parts.popupsChanged));
    // The stored login is read on the store's own queue, after the store has been chosen.
    env->account = AccountSession::make(AccountSession::Services{
        env->auth, authParts.endpoints, parts.sessionStore, parts.main,
        parts.sessionStoreQueue ? parts.sessionStoreQueue : parts.background, clock});
    env->profiles = std::make_shared<ServerProfileStore>(env->server, env->auth);
    env->auth->setRetryAfterHint([gate = std::weak_ptr<ServerGate>(env->gate)] {
        auto strong = gate.lock();
        return strong ? strong->authRetryAfter() : std::nullopt;
    });
    env->shutdown->addCounter([auth = std::weak_ptr<AuthRuntime>(env->auth)] {
        auto strong = auth.lock();
        return strong ? static_cast<int>(strong->inFlightOperations()) : 0;
    });
    return env;
}

}  // namespace parlendo
