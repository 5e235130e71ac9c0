// The account session's handling of recovery links: checking a link's login against the one
// signed in, discarding it, and adopting it.
#include "auth/AccountSession.h"

#include "auth/AuthCallback.h"
#include "auth/RecoveryTokenWrite.h"
#include "foundation/Log.h"

namespace parlendo {
namespace {

const char* flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

bool AccountSession::adoptRecoverySession(std::string_view url) {
    return AuthCallback::parse(url).is<AuthCallback::Recovery>();
}

void AccountSession::inspectRecovery(
    const std::string& refreshToken,
    Completion<void(Result<RecoveryCandidate, AuthFailure>)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    restoreState([weak, refreshToken,
                  completion = std::move(completion)](RestoreOutcome outcome) mutable {
        auto self = weak.lock();
        if (!self) {
            completion(fail(AuthFailure::superseded()));
            return;
        }
        if (outcome == RestoreOutcome::offline) {
            Log::write("account", "recovery_link held_back reason=restore_offline");
            completion(fail(AuthFailure::network()));
            return;
        }
        self->services_.endpoints->exchange(
            refreshToken,
            self->onMain<AuthSessionResult>([weak, completion = std::move(completion)](
                                                AuthSessionResult result) mutable {
                auto again = weak.lock();
                if (!result || !again) {
                    AuthFailure failure = result ? AuthFailure::superseded() : result.error();
                    Log::write("account", "recovery_link refused reason=" + reason(failure) +
                                              " — 아무것도 바꾸지 않음");
                    completion(fail(failure));
                    return;
                }
                auto current = again->services_.auth->userID();
                const bool same = current && *current == result->userID;
                const bool replaces = current && !same;
                Log::write("account", std::string("recovery_link verified same_account=") +
                                          flag(same) + " replaces=" + flag(replaces));
                RecoveryCandidate candidate{
                    result->userID, result->email,
                    replaces ? again->services_.auth->email() : std::nullopt, replaces, *result};
                completion(std::move(candidate));
            }));
    });
}

void AccountSession::discardRecovery(const RecoveryCandidate& candidate,
                                     Completion<void()> completion) {
    services_.endpoints->revoke(candidate.session.accessToken,
                                [completion = std::move(completion)]() mutable {
                                    Log::write("account", "recovery_link discarded");
                                    completion();
                                });
}

void AccountSession::adoptRecovery(const RecoveryCandidate& candidate,
                                   std::function<bool()> stopWork,
                                   Completion<void(bool)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    auto afterSignOut = [weak, candidate, completion = std::move(completion)]() mutable {
        auto self = weak.lock();
        if (!self) {
            completion(false);
            return;
        }
        self->writeThenAdopt(
            std::move(candidate),
            [store = self->services_.store] { return store->loadRefreshToken(); }, 1,
            std::move(completion));
    };
    auto afterRestore = [weak, candidate, stopWork,
                         afterSignOut = std::move(afterSignOut)]() mutable {
        auto self = weak.lock();
        if (!self) {
            afterSignOut();
            return;
        }
        auto current = self->services_.auth->userID();
        // The link, not the user, ends this account's session: what it keeps stays its own.
        if (current && *current != candidate.userID) {
            self->endSession(stopWork, false,
                             [afterSignOut = std::move(afterSignOut)](LogoutOutcome) mutable {
                                 afterSignOut();
                             });
            return;
        }
        afterSignOut();
    };
    if (restoring_) {
        restoreState(
            [afterRestore = std::move(afterRestore)](RestoreOutcome) mutable { afterRestore(); });
        return;
    }
    afterRestore();
}

void AccountSession::writeThenAdopt(RecoveryCandidate candidate,
                                    UniqueFunction<std::optional<std::string>()> previous,
                                    int attempt, Completion<void(bool)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    std::string token = candidate.session.refreshToken;
    // The runtime reads the stored token when it restores: it is asked only once the write ended.
    RecoveryTokenWrite::run(
        services_.auth->storeCall(), services_.store, std::move(token), std::move(previous),
        onMain<std::optional<RecoveryTokenWrite::Outcome>>(
            [weak, candidate = std::move(candidate), attempt, completion = std::move(completion)](
                std::optional<RecoveryTokenWrite::Outcome> written) mutable {
                auto self = weak.lock();
                if (!self) {
                    completion(false);
                    return;
                }
                if (!written || !written->saved) {
                    Log::write("account",
                               "recovery_link token not stored attempt=" + std::to_string(attempt) +
                                   (written ? "" : " — 키체인이 제때 답하지 않아 넘기지 않음"));
                    completion(self->services_.auth->userID() == candidate.userID);
                    return;
                }
                self->adoptAttempt(std::move(candidate), std::move(written->previous), attempt,
                                   std::move(completion));
            }));
}

void AccountSession::adoptAttempt(RecoveryCandidate candidate, std::optional<std::string> previous,
                                  int attempt, Completion<void(bool)> completion) {
    std::weak_ptr<AccountSession> weak = weak_from_this();
    auto answer = onMain<AuthRuntime::ContextResult>(
        [weak, candidate = std::move(candidate), previous = std::move(previous), attempt,
         completion = std::move(completion)](AuthRuntime::ContextResult result) mutable {
            auto self = weak.lock();
            if (!self) {
                completion(false);
                return;
            }
            const std::string n = std::to_string(attempt);
            if (result && result->userID == candidate.userID) {
                self->accept(candidate.userID);
                Log::write("account", "recovery_link adopted attempt=" + n);
                completion(true);
                return;
            }
            if (result) {
                Log::write("account", "recovery_link adopt joined another refresh attempt=" + n);
                if (attempt > 1) {
                    completion(self->services_.auth->userID() == candidate.userID);
                    return;
                }
                self->writeThenAdopt(
                    std::move(candidate), [previous] { return previous; }, attempt + 1,
                    std::move(completion));
                return;
            }
            const AuthFailure& failure = result.error();
            if (failure.is<AuthFailure::Superseded>()) {
                Log::write("account", "recovery_link adopt superseded attempt=" + n);
                completion(false);
                return;
            }
            Log::write("account",
                       "recovery_link adopt failed reason=" + reason(failure) + " attempt=" + n);
            if (failure.is<AuthFailure::ConfirmedInvalid>()) {
                completion(false);
                return;
            }
            self->services_.auth->storeCall().run<bool>(
                [store = self->services_.store, previous = std::move(previous)] {
                    return RecoveryTokenWrite::putBack(*store, previous);
                },
                false, self->onMain<bool>([completion = std::move(completion)](bool back) mutable {
                    if (!back) {
                        Log::write("account",
                                   "recovery_link put_back=false — 이전 로그인을 되돌리지 못함");
                    }
                    completion(false);
                }));
        });
    services_.background->post([runtime = services_.auth, answer = std::move(answer)]() mutable {
        runtime->restore(std::move(answer));
    });
}

}  // namespace parlendo
