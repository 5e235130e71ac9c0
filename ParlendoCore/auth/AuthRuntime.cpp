#include "auth/AuthRuntime.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

#include <cmath>
#include <utility>

namespace parlendo {
namespace {

constexpr const char* tag = "auth";

const char* flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<AuthRuntime> AuthRuntime::make(Services services) {
    return std::shared_ptr<AuthRuntime>(new AuthRuntime(std::move(services)));
}

AuthRuntime::AuthRuntime(Services services)
    : services_(std::move(services)), randomEngine_(std::random_device{}()) {
    // The system's clocks unless others are given.
    if (!services_.wallClock) {
        services_.wallClock = SystemClock::shared();
    }
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
    backoffRandom_ = [this] {
        // Called with the lock held, so the engine needs no lock of its own.
        return std::uniform_real_distribution<double>(0.5, 1.5)(randomEngine_);
    };
    retryAfterHint_ = [] {
        return std::optional<double>();
    };
}

AuthRuntime::~AuthRuntime() {
    for (auto& waiter : refreshWaiters_) {
        waiter.drop("the auth runtime went away during a refresh");
    }
}

// ---- queries ----

bool AuthRuntime::isCurrentLocked(const std::optional<AuthContext>& context) const {
    return context && admission_ && session_ && context->generation == generation_ &&
           context->userID == session_->userID;
}

std::optional<AuthContext> AuthRuntime::context() const {
    std::lock_guard lock(mutex_);
    if (admission_ && session_) {
        return AuthContext{session_->userID, generation_};
    }
    return std::nullopt;
}

bool AuthRuntime::isCurrent(const std::optional<AuthContext>& context) const {
    std::lock_guard lock(mutex_);
    return isCurrentLocked(context);
}

std::optional<std::string> AuthRuntime::accessToken(const AuthContext& context) const {
    std::lock_guard lock(mutex_);
    if (isCurrentLocked(context)) {
        return session_->accessToken;
    }
    return std::nullopt;
}

bool AuthRuntime::isLoggedIn() const {
    std::lock_guard lock(mutex_);
    return admission_ && session_.has_value();
}

std::optional<std::string> AuthRuntime::userID() const {
    std::lock_guard lock(mutex_);
    if (admission_ && session_) {
        return session_->userID;
    }
    return std::nullopt;
}

std::optional<std::string> AuthRuntime::email() const {
    std::lock_guard lock(mutex_);
    return session_ ? session_->email : std::nullopt;
}

AuthState AuthRuntime::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::int64_t AuthRuntime::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

std::int64_t AuthRuntime::inFlightOperations() const {
    std::lock_guard lock(mutex_);
    return operations_;
}

std::int64_t AuthRuntime::backgroundInFlight() const {
    std::lock_guard lock(mutex_);
    return backgroundOperations_;
}

bool AuthRuntime::sessionNotStored() const {
    std::lock_guard lock(mutex_);
    return storeFailed_;
}

std::optional<double> AuthRuntime::backoffRemaining() const {
    double at = uptime();
    std::lock_guard lock(mutex_);
    return backoff_.remaining(at);
}

// ---- operation counting ----

bool AuthRuntime::beginOperation(const AuthContext& context, bool awaited) {
    std::lock_guard lock(mutex_);
    if (!isCurrentLocked(context)) {
        return false;
    }
    (awaited ? operations_ : backgroundOperations_) += 1;
    return true;
}

void AuthRuntime::endOperation(bool awaited) {
    std::lock_guard lock(mutex_);
    auto& counter = awaited ? operations_ : backgroundOperations_;
    if (counter > 0) {
        counter -= 1;
    }
}

// ---- hooks ----

void AuthRuntime::beginRestoreBurst() {
    std::lock_guard lock(mutex_);
    backoff_.beginBurst();
}

void AuthRuntime::endRestoreBurst() {
    std::lock_guard lock(mutex_);
    backoff_.endBurst();
}

void AuthRuntime::setOnStateChange(std::function<void(AuthState)> callback) {
    std::lock_guard lock(mutex_);
    onStateChange_ = std::move(callback);
}

void AuthRuntime::setOnLoggedOut(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    onLoggedOut_ = std::move(callback);
}

void AuthRuntime::setOnRefreshed(std::function<void(const std::string&)> callback) {
    std::lock_guard lock(mutex_);
    onRefreshed_ = std::move(callback);
}

void AuthRuntime::setRetryAfterHint(std::function<std::optional<double>()> hint) {
    std::lock_guard lock(mutex_);
    retryAfterHint_ = std::move(hint);
}

void AuthRuntime::setBackoffRandom(std::function<double()> random) {
    std::lock_guard lock(mutex_);
    backoffRandom_ = std::move(random);
}

// ---- adoption ----

void AuthRuntime::onStoreQueue(Task task) {
    if (services_.storeQueue) {
        services_.storeQueue->post(std::move(task));
    } else {
        task();
    }
}

KeychainCall AuthRuntime::storeCall() const {
    return {services_.storeQueue ? services_.storeQueue : services_.background, services_.main,
            services_.storeDeadline};
}

void AuthRuntime::keep(const std::string& refreshToken, const char* where) {
    onStoreQueue([self = shared_from_this(), refreshToken, where] {
        const bool stored = self->services_.store->save(refreshToken);
        std::lock_guard lock(self->mutex_);
        self->noteStored(stored, where);
    });
}

void AuthRuntime::forget() {
    onStoreQueue([store = services_.store] { store->clear(); });
}

void AuthRuntime::noteStored(bool stored, const char* where) {
    if (!stored) {
        Log::write("keychain", std::string("🔴 로그인 값 저장 실패 where=") + where);
        storeFailed_ = true;
        return;
    }
    if (storeFailed_) {
        Log::write("keychain",
                   std::string("로그인 값 저장됨 where=") + where + " — 앞의 실패가 풀림");
    }
    storeFailed_ = false;
}

std::optional<AuthContext> AuthRuntime::adopt(const AuthSession& session, const std::string& reason,
                                              std::optional<std::int64_t> onlyIfGeneration) {
    if (onlyIfGeneration && *onlyIfGeneration != generation_) {
        if (!signingOut_ && admission_ && session_ && session_->userID == session.userID &&
            session_->refreshToken == session.refreshToken) {
            return AuthContext{session_->userID, generation_};
        }
        return std::nullopt;
    }
    if (onlyIfGeneration && signingOut_) {
        return std::nullopt;
    }
    const bool sameAccount = admission_ && (!session_ || session_->userID == session.userID);
    if (!sameAccount) {
        generation_ += 1;
    }
    session_ = session;
    admission_ = true;
    state_ = AuthState::ready;
    backoff_.succeeded();
    keep(session.refreshToken, "login");
    Log::write(tag, reason + " 성공 uid=" + text::characterPrefix(session.userID, 8) +
                        "… generation=" + std::to_string(generation_));
    if (onStateChange_) {
        onStateChange_(state_);
    }
    return AuthContext{session.userID, generation_};
}

// ---- sign-in and sign-up ----

void AuthRuntime::signIn(const std::string& email, const std::string& password,
                         Completion<void(ContextResult)> completion) {
    std::weak_ptr<AuthRuntime> weak = weak_from_this();
    services_.transport->signIn(
        email, password,
        [weak, completion = std::move(completion)](AuthSessionResult result) mutable {
            auto self = weak.lock();
            if (!self) {
                completion(fail(AuthFailure::superseded()));
                return;
            }
            if (!result) {
                completion(fail(result.error()));
                return;
            }
            std::optional<AuthContext> context;
            {
                std::lock_guard lock(self->mutex_);
                context = self->adopt(*result, "login", std::nullopt);
            }
            completion(*context);
        });
}

void AuthRuntime::signUp(const std::string& email, const std::string& password,
                         Completion<void(SignUpResult)> completion) {
    std::weak_ptr<AuthRuntime> weak = weak_from_this();
    services_.transport->signUp(
        email, password,
        [weak, completion = std::move(completion)](
            Result<std::optional<AuthSession>, AuthFailure> result) mutable {
            auto self = weak.lock();
            if (!self) {
                completion(fail(AuthFailure::superseded()));
                return;
            }
            if (!result) {
                completion(fail(result.error()));
                return;
            }
            if (!result->has_value()) {
                completion(std::optional<AuthContext>());
                return;
            }
            std::optional<AuthContext> context;
            {
                std::lock_guard lock(self->mutex_);
                context = self->adopt(**result, "signup", std::nullopt);
            }
            completion(context);
        });
}

// ---- refresh ----

void AuthRuntime::refreshNow(const std::string& refreshToken, const std::string& reason,
                             Completion<void(AuthSessionResult)> completion) {
    std::optional<double> postponed;
    std::int64_t startGeneration = 0;
    {
        std::lock_guard lock(mutex_);
        if (refreshInflight_) {
            refreshWaiters_.push_back(std::move(completion));
            return;
        }
        double at = uptime();
        if (reason != "restore") {
            postponed = backoff_.remaining(at);
        }
        if (!postponed) {
            refreshWaiters_.push_back(std::move(completion));
            refreshInflight_ = true;
            lastRefreshAttempt_ = at;
            startGeneration = generation_;
        }
    }
    if (postponed) {
        Log::write(tag, reason + " 갱신 미룸 — 인증 서버 대기 중 remaining_s=" +
                            std::to_string(static_cast<long long>(std::ceil(*postponed))));
        completion(fail(AuthFailure::rateLimited()));
        return;
    }
    std::weak_ptr<AuthRuntime> weak = weak_from_this();
    services_.transport->refresh(refreshToken,
                                 [weak, startGeneration, reason](AuthSessionResult result) {
                                     if (auto self = weak.lock()) {
                                         self->handleRefresh(result, startGeneration, reason);
                                     }
                                 });
}

void AuthRuntime::handleRefresh(const AuthSessionResult& result, std::int64_t startGeneration,
                                const std::string& reason) {
    std::vector<Completion<void(AuthSessionResult)>> waiters;
    std::function<void()> refreshed;
    {
        std::lock_guard lock(mutex_);
        refreshInflight_ = false;
        waiters.swap(refreshWaiters_);
        const bool stale = startGeneration != generation_ && session_.has_value();

        if (result) {
            if (stale) {
                Log::write(tag, reason + " 갱신 결과가 늦게 도착 — 세대가 바뀌어 버림");
            } else {
                backoff_.succeeded();
                if (session_ && reason != "restore") {
                    session_ = *result;
                    keep(result->refreshToken, "refresh");
                    Log::write(tag, reason + " 갱신 성공");
                    if (onRefreshed_) {
                        refreshed = [callback = onRefreshed_, user = session_->userID] {
                            callback(user);
                        };
                    }
                }
            }
        } else {
            const AuthFailure& failure = result.error();
            const std::string why = logReason(failure);
            if (failure.is<AuthFailure::ConfirmedInvalid>()) {
                if (stale) {
                    // The token that died belonged to an account replaced meanwhile; the session
                    // held now and its stored token are not touched.
                    Log::write(tag, "🔴 " + reason +
                                        " 갱신 — 토큰 확정 무효지만 세대가 바뀌어 버림 (지금 "
                                        "세션 · 저장소 그대로)");
                } else {
                    Log::write(tag,
                               "🔴 " + reason + " 갱신 — 토큰 확정 무효. 저장소를 비우고 재로그인");
                    session_.reset();
                    admission_ = false;
                    state_ = AuthState::loggedOut;
                    forget();
                    std::weak_ptr<AuthRuntime> weak = weak_from_this();
                    services_.main->post([weak] {
                        auto self = weak.lock();
                        if (!self) {
                            return;
                        }
                        std::function<void(AuthState)> stateChange;
                        std::function<void()> loggedOut;
                        AuthState now;
                        {
                            std::lock_guard inner(self->mutex_);
                            stateChange = self->onStateChange_;
                            loggedOut = self->onLoggedOut_;
                            now = self->state_;
                        }
                        if (stateChange) {
                            stateChange(now);
                        }
                        if (loggedOut) {
                            loggedOut();
                        }
                    });
                }
            } else if (AuthBackoff::applies(failure)) {
                std::optional<double> retryAfter;
                if (!failure.is<AuthFailure::Server>() && retryAfterHint_) {
                    retryAfter = retryAfterHint_();
                }
                double delay = backoff_.failed(uptime(), retryAfter, backoffRandom_);
                Log::write(tag, reason + " 갱신 실패(" + why + ") — 토큰 유지, 대기 " +
                                    std::to_string(std::llround(delay)) +
                                    "초 step=" + std::to_string(backoff_.step));
            } else {
                Log::write(tag, reason + " 갱신 실패(" + why + ") — 토큰 유지, 다음에 재시도");
            }
        }
    }
    for (auto& waiter : waiters) {
        waiter(result);
    }
    if (refreshed) {
        refreshed();
    }
}

void AuthRuntime::refreshIfNeeded(double margin, Completion<void(AuthSessionResult)> completion) {
    std::optional<std::string> token;
    {
        std::lock_guard lock(mutex_);
        if (admission_ && session_ && session_->expiresAt - services_.wallClock->now() < margin) {
            token = session_->refreshToken;
        }
    }
    if (!completion) {
        completion = [](AuthSessionResult) {
        };
    }
    if (token) {
        refreshNow(*token, "keeper", std::move(completion));
    } else {
        completion(fail(AuthFailure::network()));
    }
}

void AuthRuntime::recover(Completion<void(AuthSessionResult)> completion) {
    std::optional<std::string> token;
    {
        std::lock_guard lock(mutex_);
        if (session_) {
            token = session_->refreshToken;
        }
    }
    if (token) {
        refreshNow(*token, "recover", std::move(completion));
    } else {
        completion(fail(AuthFailure::confirmedInvalid()));
    }
}

// ---- restore ----

void AuthRuntime::restore(Completion<void(ContextResult)> completion) {
    std::int64_t restoreGeneration = 0;
    {
        std::lock_guard lock(mutex_);
        restoreGeneration = generation_;
    }
    auto token = services_.store->loadRefreshToken();
    if (!token || token->empty()) {
        Log::write(tag, "저장된 세션 없음");
        completion(fail(AuthFailure::confirmedInvalid()));
        return;
    }
    std::weak_ptr<AuthRuntime> weak = weak_from_this();
    refreshNow(*token, "restore",
               [weak, restoreGeneration,
                completion = std::move(completion)](AuthSessionResult result) mutable {
                   auto self = weak.lock();
                   if (!self) {
                       completion(fail(AuthFailure::superseded()));
                       return;
                   }
                   if (!result) {
                       completion(fail(result.error()));
                       return;
                   }
                   std::optional<AuthContext> context;
                   {
                       std::lock_guard lock(self->mutex_);
                       context = self->adopt(*result, "restore", restoreGeneration);
                   }
                   if (context) {
                       completion(*context);
                       return;
                   }
                   Log::write(tag,
                              "restore 결과가 늦게 도착 — 그 사이 로그인 · 로그아웃 · 지우기가 "
                              "있어 버림 (저장소 · 지금 세션 그대로)");
                   completion(fail(AuthFailure::superseded()));
               });
}

// ---- sign-out ----

void AuthRuntime::signOut(std::function<bool()> stopWork, double drainTimeout,
                          Completion<void(LogoutOutcome)> completion) {
    std::optional<std::string> access;
    {
        std::lock_guard lock(mutex_);
        admission_ = false;
        signingOut_ = true;
        if (session_) {
            access = session_->accessToken;
        }
    }
    // The runtime holds itself until the end: a sign-out always completes.
    auto self = shared_from_this();
    services_.main->post([self, stopWork = std::move(stopWork), drainTimeout,
                          access = std::move(access),
                          completion = std::move(completion)]() mutable {
        LogoutOutcome outcome;
        outcome.workStopped = stopWork ? stopWork() : true;
        self->drain(self->uptime() + drainTimeout, [self, outcome, access = std::move(access),
                                                    completion = std::move(completion)]() mutable {
            self->finishSignOut(outcome, std::move(access), std::move(completion));
        });
    });
}

void AuthRuntime::signOut(std::function<bool()> stopWork,
                          Completion<void(LogoutOutcome)> completion) {
    signOut(std::move(stopWork), 5.0, std::move(completion));
}

void AuthRuntime::drain(double deadline, Task then) {
    bool idle = false;
    {
        std::lock_guard lock(mutex_);
        idle = operations_ < 1 && !refreshInflight_;
    }
    if (idle || uptime() >= deadline) {
        then();
        return;
    }
    auto self = shared_from_this();
    services_.main->postAfter(0.05, [self, deadline, then = std::move(then)]() mutable {
        self->drain(deadline, std::move(then));
    });
}

void AuthRuntime::finishSignOut(LogoutOutcome outcome, std::optional<std::string> access,
                                Completion<void(LogoutOutcome)> completion) {
    {
        std::lock_guard lock(mutex_);
        outcome.operationsDrained = operations_ == 0 && !refreshInflight_;
        session_.reset();
        generation_ += 1;
        state_ = AuthState::loggedOut;
        signingOut_ = false;
        outcome.accountGeneration = generation_;
    }
    // The clear comes after every save asked for before it, so no token is written back once
    // cleared. A store that has not answered by the deadline counts as not cleared: the sign-out
    // goes on and says so, and the clear still runs when the store answers.
    auto self = shared_from_this();
    storeCall().run<bool>([store = services_.store] { return store->clear(); }, false,
                          [self, outcome, access = std::move(access),
                           completion = std::move(completion)](bool cleared) mutable {
                              outcome.storeCleared = cleared;
                              self->endSignOut(outcome, std::move(access), std::move(completion));
                          });
}

void AuthRuntime::endSignOut(LogoutOutcome outcome, std::optional<std::string> access,
                             Completion<void(LogoutOutcome)> completion) {
    std::function<void(AuthState)> stateChange;
    {
        std::lock_guard lock(mutex_);
        stateChange = onStateChange_;
    }
    Log::write(tag, std::string("로그아웃 · work_stopped=") + flag(outcome.workStopped) +
                        " drained=" + flag(outcome.operationsDrained) +
                        " store_cleared=" + flag(outcome.storeCleared) +
                        " generation=" + std::to_string(outcome.accountGeneration));
    if (stateChange) {
        stateChange(AuthState::loggedOut);
    }
    if (!access) {
        completion(outcome);
        return;
    }
    services_.transport->signOut(
        *access, [outcome, completion = std::move(completion)](bool revoked) mutable {
            outcome.remoteRevoked = revoked;
            completion(outcome);
        });
}

}  // namespace parlendo
