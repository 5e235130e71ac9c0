// The account module's handling of the links in confirmation and recovery mails.
#include "account/AccountCoordinator.h"

#include "auth/AuthCallback.h"
#include "auth/ProfileOnboarding.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/Url.h"

namespace parlendo {

namespace {

// The link's host for the log: as written when it is a plain host name, else redacted.
std::string hostForLog(const std::string& url) {
    const auto parsed = Url::parse(url);
    if (!parsed || !parsed->host || parsed->host->empty()) {
        return "-";
    }
    const std::string& host = *parsed->host;
    const bool plain = host.size() <= 64 && std::all_of(host.begin(), host.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '-' || c == '.';
                       });
    return plain ? host : Log::redact(host);
}

}  // namespace

void AccountCoordinator::open(const std::string& url) {
    const AuthCallback callback = AuthCallback::parse(url);
    Log::write("account", "link opened host=" + hostForLog(url) + " kind=" + callback.kind());
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    std::visit(overloaded{
                   [&](const AuthCallback::EmailConfirmed&) {
                       if (!services_.auth->isLoggedIn()) {
                           showLogin(AccountNotices::mailConfirmed);
                       }
                   },
                   [&](const AuthCallback::Failed&) {
                       services_.alert(AccountAlert::linkFailed(), [](int) {});
                   },
                   [](const AuthCallback::Ignored&) {},
                   [&](const AuthCallback::Recovery& recovery) {
                       // One recovery at a time: a link that comes while one is handled is dropped.
                       if (handlingLink_) {
                           return;
                       }
                       handlingLink_ = true;
                       // The flag is the main thread's; a declined link ends on the thread the
                       // revocation answers on.
                       recover(recovery.refreshToken, [weak, main = services_.main] {
                           main->post([weak] {
                               if (auto self = weak.lock()) {
                                   self->handlingLink_ = false;
                               }
                           });
                       });
                   },
               },
               callback.value());
}

void AccountCoordinator::recover(const std::string& refreshToken, Completion<void()> done) {
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.account->inspectRecovery(
        refreshToken,
        [weak, done = std::move(done)](Result<RecoveryCandidate, AuthFailure> inspected) mutable {
            auto self = weak.lock();
            if (!self) {
                done();
                return;
            }
            if (self->services_.auth->isLoggedIn() && self->loginWindow_) {
                self->loginWindow_->restored();
            }
            if (!inspected) {
                self->services_.alert(AccountAlert::recoveryRefused(),
                                      [done = std::move(done)](int) mutable { done(); });
                return;
            }
            RecoveryCandidate candidate = std::move(*inspected);
            self->services_.alert(
                AccountAlert::recoveryQuestion(candidate),
                [weak, candidate, done = std::move(done)](int button) mutable {
                    auto again = weak.lock();
                    if (!again) {
                        done();
                        return;
                    }
                    if (button != 0) {
                        Log::write("account", std::string("recovery_link declined replaces=") +
                                                  (candidate.replacesAccount ? "true" : "false"));
                        again->services_.account->discardRecovery(candidate, std::move(done));
                        return;
                    }
                    again->adopt(std::move(candidate), std::move(done));
                });
        });
}

void AccountCoordinator::adopt(RecoveryCandidate candidate, Completion<void()> done) {
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    const auto email = candidate.email;
    services_.account->adoptRecovery(
        candidate, stopWork(), [weak, email, done = std::move(done)](bool adopted) mutable {
            auto self = weak.lock();
            if (!self) {
                done();
                return;
            }
            self->setLoggedIn(self->services_.auth->isLoggedIn());
            if (!adopted) {
                self->services_.alert(AccountAlert::adoptFailed(),
                                      [weak, done = std::move(done)](int) mutable {
                                          auto again = weak.lock();
                                          if (again && !again->services_.auth->isLoggedIn()) {
                                              again->showLogin();
                                          }
                                          done();
                                      });
                return;
            }
            self->stopRetry();
            if (self->loginWindow_) {
                self->loginWindow_->hide();
            }
            ProfileOnboarding onboarding{self->services_.account, self->services_.profiles};
            auto finish = [weak, done = std::move(done)](bool ready) mutable {
                if (auto again = weak.lock()) {
                    again->linkProfileReady_ = ready;
                    Log::write("account", std::string("recovery_link profile ready=") +
                                              (ready ? "true" : "false"));
                    again->newPasswordWindow()->show();
                }
                done();
            };
            onboarding.settle(
                [onboarding, email, main = self->services_.main,
                 finish = std::move(finish)](Result<ProfileState, CallFailure> settled) mutable {
                    // The profile store may answer off the main thread.
                    main->post([onboarding, email, main, settled = std::move(settled),
                                finish = std::move(finish)]() mutable {
                        if (!settled) {
                            finish(false);
                            return;
                        }
                        onboarding.fillIn(
                            *settled, email,
                            [main, finish = std::move(finish)](ProfileState state) mutable {
                                main->post([state, finish = std::move(finish)]() mutable {
                                    finish(state.is<ProfileState::Ready>());
                                });
                            });
                    });
                });
        });
}

void AccountCoordinator::passwordChanged() {
    setLoggedIn(services_.auth->isLoggedIn());
    const bool ready = linkProfileReady_;
    std::weak_ptr<AccountCoordinator> weak = weak_from_this();
    services_.alert(AccountAlert::passwordChanged(ready), [weak, ready](int) {
        auto self = weak.lock();
        if (self && ready) {
            self->services_.notice(AccountNotices::loggedIn, AccountNotices::loggedInSeconds);
        }
    });
}

}  // namespace parlendo
