#include "auth/AccountSession.h"

#include "auth/AuthCode.h"
#include "foundation/Log.h"

#include <cmath>
#include <cstdio>

namespace parlendo {
namespace {

const char* flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

const AccountError& AccountSession::staleContext() {
    static const AccountError error(std::nullopt, AuthCode::passwordChangeInterrupted);
    return error;
}

std::shared_ptr<AccountSession> AccountSession::make(Services services) {
    auto session = std::shared_ptr<AccountSession>(new AccountSession(std::move(services)));
    session->installHooks();
    return session;
}

AccountSession::AccountSession(Services services) : services_(std::move(services)) {
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
}

void AccountSession::installHooks() {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    services_.auth->setOnStateChange([weak, main = services_.main](AuthState) {
        main->post([weak] {
            auto self = weak.lock();
            if (self && self->onAuthChange_) {
                self->onAuthChange_();
            }
        });
    });
    services_.auth->setOnLoggedOut([weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (self->onRefused_) {
            self->onRefused_();
        }
        if (self->onSessionLost_) {
            self->onSessionLost_();
        }
    });
    services_.auth->setOnRefreshed([weak, main = services_.main](const std::string& userID) {
        main->post([weak, userID] {
            auto self = weak.lock();
            if (self && self->onLoginBack_ && self->services_.auth->userID() == userID) {
                self->onLoginBack_(userID);
            }
        });
    });
}

void AccountSession::accept(const std::string& userID) {
    startKeeper();
    if (onAccepted_) {
        onAccepted_(userID);
    }
    if (onLoginBack_) {
        onLoginBack_(userID);
    }
}

// ---- restore ----

void AccountSession::restoreState(Completion<void(RestoreOutcome)> completion) {
    if (restoring_) {
        restoring_->waiters.push_back(std::move(completion));
        return;
    }
    auto flight = std::make_shared<RestoreFlight>();
    flight->waiters.push_back(std::move(completion));
    restoring_ = flight;
    std::weak_ptr<AccountSession> weak = weak_from_this();
    runRestore([weak, flight](RestoreOutcome outcome) {
        if (auto self = weak.lock(); self && self->restoring_ == flight) {
            self->restoring_.reset();
        }
        auto waiters = std::move(flight->waiters);
        for (auto& waiter : waiters) {
            waiter(outcome);
        }
    });
}

void AccountSession::restore(Completion<void(bool)> completion) {
    restoreState([completion = std::move(completion)](RestoreOutcome outcome) mutable {
        completion(outcome == RestoreOutcome::ready);
    });
}

void AccountSession::runRestore(Completion<void(RestoreOutcome)> completion) {
    if (services_.auth->isLoggedIn()) {
        completion(RestoreOutcome::ready);
        return;
    }
    std::weak_ptr<AccountSession> weak = weak_from_this();
    auto store = services_.store;
    auto next = onMain<bool>([weak, completion = std::move(completion)](bool stored) mutable {
        auto self = weak.lock();
        if (!self) {
            completion(RestoreOutcome::needLogin);
            return;
        }
        if (!stored) {
            Log::write("auth", "저장된 세션 없음");
            completion(RestoreOutcome::needLogin);
            return;
        }
        self->services_.auth->beginRestoreBurst();
        self->restoreAttempt(1, std::move(completion));
    });
    services_.background->post([store, next = std::move(next)]() mutable {
        auto token = store->loadRefreshToken();
        next(token.has_value() && !token->empty());
    });
}

void AccountSession::restoreAttempt(int attempt, Completion<void(RestoreOutcome)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    // The runtime outlives this session; a restore that ends because the session is gone still
    // closes the burst it opened, so the runtime's backoff does not stay in burst mode.
    std::shared_ptr<AuthRuntime> runtime = services_.auth;
    // The runtime reads the stored token itself: on the background executor, not here.
    auto answer = onMain<AuthRuntime::ContextResult>(
        [weak, runtime, attempt,
         completion = std::move(completion)](AuthRuntime::ContextResult result) mutable {
            auto self = weak.lock();
            if (!self) {
                runtime->endRestoreBurst();
                completion(RestoreOutcome::needLogin);
                return;
            }
            auto& auth = *self->services_.auth;
            auto finish = [&](RestoreOutcome outcome) {
                auth.endRestoreBurst();
                completion(outcome);
            };
            const std::string n = std::to_string(attempt);
            if (result) {
                self->accept(result->userID);
                Log::write("account", "restore ok attempt=" + n);
                finish(RestoreOutcome::ready);
                return;
            }
            const AuthFailure& failure = result.error();
            if (failure.is<AuthFailure::Superseded>()) {
                bool loggedIn = auth.isLoggedIn();
                Log::write("account",
                           "restore superseded attempt=" + n + " logged_in=" + flag(loggedIn));
                finish(loggedIn ? RestoreOutcome::ready : RestoreOutcome::needLogin);
                return;
            }
            if (failure.is<AuthFailure::ConfirmedInvalid>()) {
                Log::write("account", "restore refused attempt=" + n +
                                          " — 서버가 저장된 로그인을 받지 않았다");
                if (self->onRefused_) {
                    self->onRefused_();
                }
                finish(RestoreOutcome::reauthRequired);
                return;
            }
            Log::write("account", "restore unreachable attempt=" + n + "/" +
                                      std::to_string(restoreAttempts) +
                                      " reason=" + reason(failure) + " — 저장된 로그인 유지");
            if (attempt >= restoreAttempts) {
                finish(RestoreOutcome::offline);
                return;
            }
            self->services_.main->postAfter(
                attempt * restoreBackoff,
                [weak, runtime, attempt, completion = std::move(completion)]() mutable {
                    if (auto again = weak.lock()) {
                        again->restoreAttempt(attempt + 1, std::move(completion));
                    } else {
                        runtime->endRestoreBurst();
                        completion(RestoreOutcome::needLogin);
                    }
                });
        });
    services_.background->post(
        [runtime, answer = std::move(answer)]() mutable { runtime->restore(std::move(answer)); });
}

// ---- keeper ----

void AccountSession::startKeeper() {
    keeper_ = ++nextKeeper_;
    scheduleKeeperTick(*keeper_);
}

void AccountSession::stopKeeper() {
    keeper_.reset();
}

void AccountSession::scheduleKeeperTick(std::uint64_t keeper) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    services_.main->postAfter(keeperInterval, [weak, keeper] {
        auto self = weak.lock();
        if (!self || self->keeper_ != keeper) {
            return;
        }
        self->services_.auth->refreshIfNeeded(keeperMargin);
        self->scheduleKeeperTick(keeper);
    });
}

// ---- sign-in and sign-up ----

void AccountSession::signIn(const std::string& email, const std::string& password,
                            Completion<void(Result<std::string, AccountError>)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    services_.auth->signIn(
        email, password,
        onMain<AuthRuntime::ContextResult>([weak, completion = std::move(completion)](
                                               AuthRuntime::ContextResult result) mutable {
            auto self = weak.lock();
            if (result) {
                if (self) {
                    self->accept(result->userID);
                }
                completion(result->userID);
                return;
            }
            AccountError error = AuthCode::signIn(result.error());
            Log::write("account",
                       "sign_in failed code=" + error.code + " reason=" + reason(result.error()));
            const auto* rejected = result.error().as<AuthFailure::Rejected>();
            if (self && rejected &&
                (rejected->code == "invalid_credentials" || rejected->code == "user_not_found") &&
                self->onRefused_) {
                self->onRefused_();
            }
            completion(fail(std::move(error)));
        }));
}

void AccountSession::signUp(const std::string& email, const std::string& password,
                            Completion<void(Result<SignUpOutcome, AccountError>)> completion) {
    signUp(email, password, "", std::move(completion));
}

void AccountSession::signUp(const std::string& email, const std::string& password,
                            const std::string& username,
                            Completion<void(Result<SignUpOutcome, AccountError>)> completion) {
    std::string name = trimWhitespaceAndNewlines(username);
    const bool staged = !name.empty();
    services_.endpoints->stageSignUp(staged ? std::optional<std::string>(name) : std::nullopt);
    std::weak_ptr<AccountSession> weak = weak_from_this();
    auto endpoints = services_.endpoints;
    services_.auth->signUp(
        email, password,
        onMain<AuthRuntime::SignUpResult>(
            [weak, staged, endpoints,
             completion = std::move(completion)](AuthRuntime::SignUpResult result) mutable {
                endpoints->stageSignUp(std::nullopt);
                if (!result) {
                    AccountError error = AuthCode::mail(result.error(), AuthCode::signupFailed);
                    Log::write("account", "sign_up failed code=" + error.code +
                                              " reason=" + reason(result.error()));
                    completion(fail(std::move(error)));
                    return;
                }
                if (*result) {
                    if (auto self = weak.lock()) {
                        self->accept((*result)->userID);
                    }
                    completion(SignUpOutcome::signedIn((*result)->userID));
                    return;
                }
                Log::write("account",
                           std::string("sign_up ok — 메일 확인 필요 · 세션 없음 · 이름 실음=") +
                               flag(staged));
                completion(SignUpOutcome::needsEmailConfirmation());
            }));
}

void AccountSession::resendConfirmation(const std::string& email,
                                        Completion<void(VoidResult)> completion) {
    std::string address = trimWhitespaceAndNewlines(email);
    if (address.empty()) {
        completion(fail(AccountError(std::nullopt, AuthCode::signupEmailInvalid)));
        return;
    }
    auto clock = services_.clock;
    const double started = clock->uptime();
    services_.endpoints->resendConfirmation(
        address, [started, clock,
                  completion = std::move(completion)](Result<void, AuthFailure> result) mutable {
            if (result) {
                auto ms = static_cast<long long>((clock->uptime() - started) * 1000);
                Log::write("account", "resend ok ms=" + std::to_string(ms));
                completion({});
                return;
            }
            AccountError error = AuthCode::mail(result.error(), AuthCode::resendFailed);
            Log::write("account",
                       "resend failed code=" + error.code + " reason=" + reason(result.error()));
            completion(fail(std::move(error)));
        });
}

void AccountSession::signupUsername(Completion<void(std::optional<std::string>)> completion) {
    auto context = services_.auth->context();
    auto token = context ? services_.auth->accessToken(*context) : std::nullopt;
    if (!token) {
        completion(std::nullopt);
        return;
    }
    services_.endpoints->signupUsername(*token, std::move(completion));
}

// ---- sign-out ----

void AccountSession::drainPending(int before, double waited, Task then) {
    if (pendingWork_() >= 1 && waited < pendingDrainTimeout) {
        std::weak_ptr<AccountSession> weak = weak_from_this();
        services_.main->postAfter(0.05, [weak, before, waited, then = std::move(then)]() mutable {
            if (auto self = weak.lock()) {
                self->drainPending(before, waited + 0.05, std::move(then));
            } else {
                then();
            }
        });
        return;
    }
    char line[160];
    std::snprintf(line, sizeof line, "로그아웃 — 기다리던 저장 %d건 · 남은 것 %d건 · %.2f초",
                  before, pendingWork_(), waited);
    Log::write("auth", line);
    then();
}

void AccountSession::signOut(std::function<bool()> stopWork,
                             Completion<void(LogoutOutcome)> completion) {
    endSession(std::move(stopWork), true, std::move(completion));
}

void AccountSession::endSession(std::function<bool()> stopWork, bool byUser,
                                Completion<void(LogoutOutcome)> completion) {
    stopKeeper();
    // What the sign-out needs is held here, not reached through this object: a sign-out that
    // outlives the session still signs the runtime out, tells onSignedOut and answers its caller.
    // The runtime calls `stopWork` on the main executor.
    auto proceed = [runtime = services_.auth, main = services_.main, stopWork,
                    signedOut = onSignedOut_, signedOutOf = byUser ? onSignedOutOf_ : nullptr,
                    completion = std::move(completion)]() mutable {
        auto user = runtime->userID();
        runtime->signOut(stopWork,
                         [main, signedOut, signedOutOf, user = std::move(user),
                          completion = std::move(completion)](LogoutOutcome outcome) mutable {
                             main->post([signedOut, signedOutOf, user = std::move(user), outcome,
                                         completion = std::move(completion)]() mutable {
                                 if (user && signedOutOf) {
                                     signedOutOf(*user);
                                 }
                                 if (signedOut) {
                                     signedOut();
                                 }
                                 completion(outcome);
                             });
                         });
    };
    const int before = pendingWork_();
    if (before < 1) {
        proceed();
        return;
    }
    if (stopWork) {
        stopWork();
    }
    drainPending(before, 0, std::move(proceed));
}

// ---- password reset and change ----

void AccountSession::sendPasswordReset(const std::string& email,
                                       Completion<void(VoidResult)> completion) {
    services_.endpoints->recover(
        trimWhitespace(email), recoveryRedirect,
        [completion = std::move(completion)](VoidResult result) mutable {
            if (result) {
                Log::write("recover", "재설정 메일 요청됨");
            } else {
                Log::write("recover",
                           "실패 " + Log::describe(AccountError::domain, result.error().code));
            }
            completion(std::move(result));
        });
}

void AccountSession::updatePassword(const std::string& password,
                                    Completion<void(VoidResult)> completion) {
    auto& auth = *services_.auth;
    auto context = auth.context();
    auto token = context ? auth.accessToken(*context) : std::nullopt;
    if (!context || !token) {
        completion(fail(AccountError("세션이 없어요. 재설정 메일의 링크를 다시 눌러주세요.",
                                     AuthCode::reauthRequired)));
        return;
    }
    if (!auth.beginOperation(*context, true)) {
        completion(fail(staleContext()));
        return;
    }
    auto runtime = services_.auth;
    services_.endpoints->updatePassword(
        password, *token,
        [runtime, context = *context,
         completion = std::move(completion)](VoidResult result) mutable {
            runtime->endOperation(true);
            if (!runtime->isCurrent(context)) {
                Log::write("auth", "늦은 응답 버림 path=/auth/v1/user");
                completion(fail(staleContext()));
                return;
            }
            if (result) {
                Log::write("password", "변경됨");
            } else {
                Log::write("password",
                           "변경 실패 " + Log::describe(AccountError::domain, result.error().code));
            }
            completion(std::move(result));
        });
}

}  // namespace parlendo
