#include "account/AccountCoordinator.h"

#include "account/AccountDeleteClient.h"
#include "account/AccountRoutes.h"
#include "account/SessionRoutes.h"
#include "auth/AuthBackoff.h"
#include "foundation/ClientIdentity.h"
#include "foundation/Log.h"
#include "foundation/PlatformWords.h"
#include "foundation/RuntimePaths.h"
#include "shell/StartupTiming.h"

#include <algorithm>

namespace parlendo {

namespace {

const char* word(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<AccountCoordinator> AccountCoordinator::make(Services services) {
    auto coordinator =
        std::shared_ptr<AccountCoordinator>(new AccountCoordinator(std::move(services)));
    std::weak_ptr<AccountCoordinator> weak = coordinator;
    coordinator->accountItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->accountAction();
        }
    };
    return coordinator;
}

std::shared_ptr<AccountCoordinator> AccountCoordinator::make(
    const std::shared_ptr<AppEnvironment>& env, Desktop desktop) {
    Services services;
    services.auth = env->auth;
    services.account = env->account;
    services.profiles = env->profiles;
    services.detect = env->detect;
    services.accountScope = env->accountScope;
    services.gate = env->gate;
    services.server = env->server;
    services.shutdown = env->shutdown;
    services.main = env->main;
    // The notice is the capture module's, set on the environment after this module is built.
    services.notice = [weakEnv = std::weak_ptr<AppEnvironment>(env)](const std::string& text,
                                                                     double seconds) {
        if (auto shared = weakEnv.lock()) {
            shared->notice(text, seconds);
        }
    };
    services.mark = [](const std::string& name, const std::string& detail) {
        StartupTiming::mark(name, detail);
    };
    services.startup = env->startupWindows;
    services.deleteTransport = std::move(desktop.deleteTransport);
    services.keychain = KeychainCall{std::move(desktop.keychain), env->main};
    services.files = std::move(desktop.files);
    services.apiKey = env->config.publicKey;
    services.appVersion = env->appVersion;
    services.stateRoot = RuntimePaths::stateRoot();
    services.alert = std::move(desktop.alert);
    services.windows = std::move(desktop.windows);
    if (desktop.care) {
        services.care = careOf(desktop.care);
    }
    auto coordinator = make(std::move(services));
    env->requestLogin = [weak = std::weak_ptr<AccountCoordinator>(coordinator)] {
        if (auto self = weak.lock()) {
            self->requestLogin();
        }
    };
    return coordinator;
}

AccountCoordinator::Care AccountCoordinator::careOf(const std::shared_ptr<DeviceCare>& care) {
    std::weak_ptr<DeviceCare> weak = care;
    Care hooks;
    // Device items: restart, start at login, notice; the clean-up item: the wipe.
    hooks.menu = care->menu();
    hooks.start = [weak] {
        if (auto shared = weak.lock()) {
            shared->start();
        }
    };
    hooks.refreshMenu = [weak] {
        if (auto shared = weak.lock()) {
            shared->refreshMenu();
        }
    };
    hooks.launchRelaunchHelperIfRequested = [weak] {
        if (auto shared = weak.lock()) {
            shared->launchRelaunchHelperIfRequested();
        }
    };
    hooks.setSignOutForWipe = [weak](std::function<void(Completion<void()>)> signOut) {
        if (auto shared = weak.lock()) {
            shared->signOutForWipe = std::move(signOut);
        }
    };
    return hooks;
}

AccountCoordinator::AccountCoordinator(Services services)
    : services_(std::move(services)), accountItem_(std::make_shared<MenuItem>()) {
    if (services_.localData == nullptr) {
        services_.localData = &AccountLocalData::shared();
    }
    if (!services_.secrets) {
        services_.secrets = std::make_shared<KeychainSecretStore>();
    }
}

void AccountCoordinator::dropKey(Completion<void(bool)> done) {
    services_.keychain.run<std::optional<bool>>(
        [secrets = services_.secrets] {
            return std::optional<bool>(ConnectionSettings::wipeStored(*secrets));
        },
        std::nullopt,
        [done = std::move(done)](std::optional<bool> removed) mutable {
            Log::write("account", std::string("optional_key dropped=") +
                                      word(removed.value_or(false)) +
                                      (removed ? "" : " — 키체인이 답하지 않음"));
            done(removed.value_or(false));
        });
}

StopWork AccountCoordinator::stopWork() {
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    return [weak] {
        if (auto self = weak.lock()) {
            self->services_.detect->write([](DetectState& state) { state.enabled = false; });
        }
        return true;
    };
}

void AccountCoordinator::setLoggedIn(bool loggedIn) {
    services_.detect->write([loggedIn](DetectState& state) { state.loggedIn = loggedIn; });
}

std::shared_ptr<AccountDeletion> AccountCoordinator::deletion() {
    if (!deletion_) {
        auto requester = std::make_shared<AccountDeleteClient>(AccountDeleteClient::Services{
            services_.deleteTransport, services_.auth, services_.apiKey, services_.appVersion,
            services_.gate, nullptr});
        std::weak_ptr<AccountCoordinator> weak = weak_from_this();
        deletion_ = AccountDeletion::make(AccountDeletion::Services{
            services_.account, services_.auth, std::move(requester),
            std::make_shared<FileDeletePendingStore>(services_.stateRoot), services_.localData,
            [weak](Completion<void(bool)> done) {
                if (auto self = weak.lock()) {
                    self->dropKey(std::move(done));
                } else {
                    done(false);
                }
            },
            services_.main, nullptr, services_.files});
    }
    return deletion_;
}

std::shared_ptr<LoginWindowPort> AccountCoordinator::loginWindow() {
    if (!loginWindow_) {
        std::weak_ptr<AccountCoordinator> weak = weak_from_this();
        loginWindow_ =
            services_.windows.login(LoginModel::Services{services_.account, services_.profiles,
                                                         [weak] {
                                                             if (auto self = weak.lock()) {
                                                                 self->loggedIn();
                                                             }
                                                         },
                                                         [weak] {
                                                             if (auto self = weak.lock()) {
                                                                 self->restoreSession();
                                                             }
                                                         },
                                                         services_.main});
    }
    return loginWindow_;
}

std::shared_ptr<NewPasswordWindowPort> AccountCoordinator::newPasswordWindow() {
    if (!newPasswordWindow_) {
        std::weak_ptr<AccountCoordinator> weak = weak_from_this();
        newPasswordWindow_ = services_.windows.newPassword(
            services_.account,
            [weak] {
                if (auto self = weak.lock()) {
                    self->passwordChanged();
                }
            },
            services_.main);
    }
    return newPasswordWindow_;
}

void AccountCoordinator::showLogin(const std::optional<std::string>& notice) {
    loginWindow()->show(LoginModel::Mode::signIn, notice);
}

void AccountCoordinator::requestLogin() {
    showLogin();
}

void AccountCoordinator::showAfterStartWindows(LoginModel::Mode mode) {
    if (!services_.startup) {
        loginWindow()->show(mode, std::nullopt);
        return;
    }
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.startup->show("login", [weak, mode](StartupWindows::Answered answered) {
        // By its turn a link may have signed the user in.
        auto self = weak.lock();
        if (self && (mode != LoginModel::Mode::signIn || !self->services_.auth->isLoggedIn())) {
            self->loginWindow()->show(mode, std::nullopt);
        }
        answered();
    });
}

// ---- start ----

void AccountCoordinator::start() {
    if (started_) {
        return;
    }
    started_ = true;
    // The deletion's watchers of the session go in before any restore can report.
    deletion();
    auto& account = *services_.account;
    account.setPendingWork([shutdown = services_.shutdown, auth = services_.auth] {
        const auto pending =
            static_cast<std::int64_t>(shutdown->inFlight()) - auth->inFlightOperations();
        return static_cast<int>(std::max<std::int64_t>(pending, 0));
    });
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    account.setOnAuthChange([weak] {
        if (auto self = weak.lock()) {
            self->authChanged();
        }
    });
    account.setOnSessionLost([weak] {
        if (auto self = weak.lock()) {
            self->sessionLost();
        }
    });
    // Nobody waits for it: the key is dropped on the keychain queue, after the sign-out's clear.
    account.setOnSignedOut([weak] {
        if (auto self = weak.lock()) {
            self->dropKey([](bool) {});
        }
    });
    auto& care = services_.care;
    if (care.setSignOutForWipe) {
        care.setSignOutForWipe([weak](Completion<void()> done) {
            if (auto self = weak.lock()) {
                self->signOutForWipe(std::move(done));
            } else {
                done();
            }
        });
    }
    services_.shutdown->addTask(relaunchTask, [relaunch = care.launchRelaunchHelperIfRequested] {
        if (relaunch) {
            relaunch();
        }
    });
    if (care.start) {
        care.start();
    }
}

// ---- the session's callbacks ----

void AccountCoordinator::authChanged() {
    auto& auth = *services_.auth;
    const bool loggedIn = auth.isLoggedIn();
    setLoggedIn(loggedIn);
    services_.accountScope->observe(loggedIn ? auth.userID() : std::nullopt);
    if (!loggedIn) {
        return;
    }
    everLoggedIn_ = true;
    stopRetry();
    if (!services_.gate->beginAppGateRead()) {
        return;
    }
    services_.gate->readAppGate(
        ClientIdentity::currentVersion(), appGatePlatform,
        [server = services_.server](
            Completion<void(Result<std::string, CallFailureDetail>)> answer) mutable {
            server->call(std::string(ServerGate::gateRPC), "POST", Json::object(), appGateTimeout,
                         [answer = std::move(answer)](CallResult result) mutable {
                             if (result) {
                                 answer(std::move(*result));
                             } else {
                                 answer(fail(CallFailureDetail(result.error())));
                             }
                         });
        },
        [](std::string) {});
}

void AccountCoordinator::sessionLost() {
    setLoggedIn(false);
    if (!everLoggedIn_) {
        return;
    }
    services_.notice(AccountNotices::sessionExpired, AccountNotices::sessionExpiredSeconds);
    showLogin();
    offerCleanupIfNeeded();
}

// ---- restore and its retry ----

void AccountCoordinator::restoreSession() {
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.main->post([weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->services_.account->restoreState([weak](RestoreOutcome outcome) {
            if (auto again = weak.lock()) {
                again->routeRestore(outcome);
            }
        });
    });
}

void AccountCoordinator::routeRestore(RestoreOutcome outcome) {
    const bool ready = outcome == RestoreOutcome::ready;
    if (services_.mark) {
        services_.mark("session_restored",
                       std::string("ok=") + word(ready) + " state=" + toString(outcome));
    }
    setLoggedIn(ready);
    switch (outcome) {
        case RestoreOutcome::needLogin:
        case RestoreOutcome::reauthRequired:
            stopRetry();
            if (!handlingLink_) {
                showAfterStartWindows(LoginModel::Mode::signIn);
            }
            offerCleanupIfNeeded();
            return;
        case RestoreOutcome::offline:
            showAfterStartWindows(LoginModel::Mode::offline);
            scheduleRetry();
            return;
        case RestoreOutcome::ready:
            stopRetry();
            if (loginWindow_) {
                loginWindow_->restored();
            }
            return;
    }
}

void AccountCoordinator::stopRetry() {
    retryArmed_ = false;
    ++retryTimer_;
    retryCount_ = 0;
}

void AccountCoordinator::scheduleRetry() {
    const std::uint64_t timer = ++retryTimer_;
    const auto remaining = services_.auth->backoffRemaining();
    const double delay = AuthBackoff::restoreRetryDelay(remaining, retryCount_);
    retryCount_ += 1;
    retryArmed_ = true;
    Log::write("account",
               "restore retry scheduled in=" + std::to_string(static_cast<long long>(delay)) +
                   "s n=" + std::to_string(retryCount_) +
                   " why=" + (remaining ? "server_backoff" : "offline"));
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.main->postAfter(delay, [weak, timer] {
        auto self = weak.lock();
        if (!self || !self->retryArmed_ || self->retryTimer_ != timer) {
            return;
        }
        self->retryArmed_ = false;
        self->restoreSession();
    });
}

void AccountCoordinator::loggedIn() {
    stopRetry();
    setLoggedIn(true);
    services_.notice(AccountNotices::loggedIn, AccountNotices::loggedInSeconds);
}

// ---- menu ----

MenuItems AccountCoordinator::menu() const {
    MenuItems items;
    items.device = services_.care.menu.device;
    items.cleanup = services_.care.menu.cleanup;
    items.account = {accountItem_};
    return items;
}

void AccountCoordinator::refreshMenu() {
    if (services_.care.refreshMenu) {
        services_.care.refreshMenu();
    }
    if (services_.detect->state().loggedIn) {
        const auto email = services_.auth->email();
        accountItem_->title = (email ? PlatformWords::value(*email) : "로그인됨") + " — 로그아웃…";
    } else {
        accountItem_->title = "로그인 / 회원가입…";
    }
}

void AccountCoordinator::accountAction() {
    if (!services_.auth->isLoggedIn()) {
        showLogin();
        return;
    }
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.alert(AccountAlert::logoutQuestion(), [weak](int button) {
        auto self = weak.lock();
        if (!self || button != 0) {
            return;
        }
        self->services_.account->signOut(self->stopWork(), [weak](LogoutOutcome outcome) {
            Log::write("auth",
                       std::string("로그아웃 결과 drained=") + word(outcome.operationsDrained) +
                           " remote=" +
                           (outcome.remoteRevoked ? word(*outcome.remoteRevoked) : "unknown"));
            if (auto again = weak.lock()) {
                again->setLoggedIn(false);
                again->showLogin(outcome.storeCleared
                                     ? std::nullopt
                                     : std::optional<std::string>(AccountNotices::loginNotCleared));
            }
        });
    });
}

// ---- clean-up ----

void AccountCoordinator::offerCleanupIfNeeded() {
    if (askingCleanup_ || !deletion()->cleanupOffered()) {
        return;
    }
    askingCleanup_ = true;
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.alert(AccountAlert::cleanupQuestion(), [weak](int button) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->askingCleanup_ = false;
        if (button != 1) {
            Log::write("account", "cleanup offer declined");
            return;
        }
        self->deletion()->settle(self->stopWork(), [weak](RemovalResult result) {
            if (auto again = weak.lock()) {
                again->showLogin(result ? AccountNotices::cleanedUp
                                        : AccountNotices::cleanupFailed);
            }
        });
    });
}

void AccountCoordinator::signOutForWipe(Completion<void()> done) {
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.main->post([weak, done = std::move(done)]() mutable {
        auto self = weak.lock();
        if (!self) {
            done();
            return;
        }
        self->stopRetry();
        self->deletion()->resetLocalState(self->stopWork(), [weak, done = std::move(done)](
                                                                RemovalResult) mutable {
            auto again = weak.lock();
            if (!again) {
                done();
                return;
            }
            again->setLoggedIn(false);
            again->services_.shutdown->runTerminationTasks(again->services_.main, std::move(done));
        });
    });
}

// ---- bridge ----

BridgeRouteGroups AccountCoordinator::bridgeRoutes() const {
    auto self = std::const_pointer_cast<AccountCoordinator>(shared_from_this());
    std::weak_ptr<AccountCoordinator> weak = self;
    auto control = services_.detect->control();
    SessionRoutes::CleanupOffer offer{[weak] {
                                          auto coordinator = weak.lock();
                                          return coordinator &&
                                                 coordinator->deletion()->cleanupOffered();
                                      },
                                      [weak, main = services_.main] {
                                          main->post([weak] {
                                              if (auto coordinator = weak.lock()) {
                                                  coordinator->offerCleanupIfNeeded();
                                              }
                                          });
                                      }};
    return {
        std::make_shared<SessionRoutes>(services_.account, services_.profiles, control, offer),
        std::make_shared<AccountRoutes>(self->deletion(), services_.account, control),
    };
}

}  // namespace parlendo
