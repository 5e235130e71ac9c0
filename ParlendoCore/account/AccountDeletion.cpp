#include "account/AccountDeletion.h"

#include "auth/AuthCode.h"
#include "foundation/Log.h"

namespace parlendo {

namespace {

const char* word(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<AccountDeletion> AccountDeletion::make(Services services) {
    auto deletion = std::shared_ptr<AccountDeletion>(new AccountDeletion(std::move(services)));
    deletion->installWatchers();
    return deletion;
}

AccountDeletion::AccountDeletion(Services services) : services_(std::move(services)) {
    if (services_.localData == nullptr) {
        services_.localData = &AccountLocalData::shared();
    }
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
}

AccountError AccountDeletion::error(const char* code) {
    return AccountError(std::nullopt, code);
}

AccountError AccountDeletion::error(DeleteAnswer answer) {
    switch (answer) {
        case DeleteAnswer::wrongPassword:
            return error(AuthCode::deleteWrongPassword);
        case DeleteAnswer::rateLimited:
            return error(AuthCode::deleteRateLimited);
        case DeleteAnswer::network:
            return error(AuthCode::deleteNoResponse);
        case DeleteAnswer::deleted:
        case DeleteAnswer::unauthorized:
        case DeleteAnswer::failed:
            return error(AuthCode::deleteFailed);
    }
    return error(AuthCode::deleteFailed);
}

template <class Arg, class F>
Completion<void(Arg)> AccountDeletion::onMain(F f) {
    return [self = shared_from_this(), f = std::move(f)](Arg value) mutable {
        auto main = self->services_.main;
        main->post([self = std::move(self), f = std::move(f), value = std::move(value)]() mutable {
            f(*self, std::move(value));
        });
    };
}

void AccountDeletion::installWatchers() {
    std::weak_ptr<AccountDeletion> weak = weak_from_this();
    services_.account->setOnRefused([weak] {
        auto self = weak.lock();
        if (!self || self->services_.pending->users().empty()) {
            return;
        }
        self->setRefused(true);
        Log::write("account",
                   "delete_pending 뒤 서버가 로그인을 받지 않음 — 화면이 정리할지 묻는다");
    });
    services_.account->setOnAccepted([weak](const std::string&) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->setRefused(false);
        self->services_.pending->clear(std::nullopt);
    });
}

void AccountDeletion::setRefused(bool refused) {
    std::lock_guard lock(mutex_);
    refused_ = refused;
}

bool AccountDeletion::cleanupOffered() {
    {
        std::lock_guard lock(mutex_);
        if (!refused_) {
            return false;
        }
    }
    return !services_.pending->users().empty() && !services_.auth->isLoggedIn();
}

// ---- delete ----

void AccountDeletion::deleteAccount(const std::string& password, StopWork stopWork,
                                    Completion<void(RemovalResult)> completion) {
    services_.main->post([self = shared_from_this(), password, stopWork = std::move(stopWork),
                          completion = std::move(completion)]() mutable {
        self->startDelete(password, std::move(stopWork), std::move(completion));
    });
}

void AccountDeletion::startDelete(const std::string& password, StopWork stopWork,
                                  Completion<void(RemovalResult)> completion) {
    const double started = services_.clock->uptime();
    // The session the request is made under: its answer acts on this one only.
    const auto asked = services_.auth->context();
    if (!asked) {
        completion(fail(error(AuthCode::reauthRequired)));
        return;
    }
    if (password.empty()) {
        completion(fail(error(AuthCode::deleteFailed)));
        return;
    }
    services_.requester->request(
        password,
        onMain<DeleteAnswer>([asked = *asked, password, started, stopWork = std::move(stopWork),
                              completion = std::move(completion)](AccountDeletion& self,
                                                                  DeleteAnswer answer) mutable {
            self.answered(answer, asked, password, started, std::move(stopWork),
                          std::move(completion));
        }));
}

void AccountDeletion::answered(DeleteAnswer answer, const AuthContext& asked,
                               const std::string& password, double started, StopWork stopWork,
                               Completion<void(RemovalResult)> completion) {
    if (answer != DeleteAnswer::unauthorized) {
        finishDelete(answer, asked, started, std::move(stopWork), std::move(completion));
        return;
    }
    // A refresh now would renew someone else's login, and the retry would carry their token.
    if (heldByAnother(asked)) {
        notRetried(std::move(completion));
        return;
    }
    retryAfterRefresh(asked, password, started, std::move(stopWork), std::move(completion));
}

void AccountDeletion::retryAfterRefresh(const AuthContext& asked, const std::string& password,
                                        double started, StopWork stopWork,
                                        Completion<void(RemovalResult)> completion) {
    const bool hinted = services_.pending->users().count(asked.userID) > 0;
    services_.auth->recover(
        onMain<AuthSessionResult>([asked, password, started, hinted, stopWork = std::move(stopWork),
                                   completion = std::move(completion)](
                                      AccountDeletion& self, AuthSessionResult refreshed) mutable {
            if (self.heldByAnother(asked) ||
                (refreshed && !self.services_.auth->isCurrent(asked))) {
                notRetried(std::move(completion));
                return;
            }
            if (!refreshed) {
                const bool loggedIn = self.services_.auth->userID() == asked.userID;
                Log::write("account",
                           std::string("delete unauthorized · 세션을 되살리지 못함 hinted=") +
                               word(hinted) + " logged_in=" + word(loggedIn));
                completion(fail(error(hinted && loggedIn ? AuthCode::deleteNoResponse
                                                         : AuthCode::reauthRequired)));
                return;
            }
            self.services_.requester->request(
                password,
                self.onMain<DeleteAnswer>([asked, started, stopWork = std::move(stopWork),
                                           completion = std::move(completion)](
                                              AccountDeletion& again, DeleteAnswer answer) mutable {
                    again.finishDelete(answer, asked, started, std::move(stopWork),
                                       std::move(completion));
                }));
        }));
}

bool AccountDeletion::heldByAnother(const AuthContext& asked) const {
    const auto now = services_.auth->context();
    return now && *now != asked;
}

bool AccountDeletion::heldByAnotherUser(const AuthContext& asked) const {
    const auto now = services_.auth->context();
    return now && now->userID != asked.userID;
}

void AccountDeletion::notRetried(Completion<void(RemovalResult)> completion) {
    Log::write("account", "delete unauthorized · 그사이 로그인한 계정이 바뀌어 다시 보내지 않음");
    completion(fail(error(AuthCode::staleCompletion)));
}

void AccountDeletion::record(DeleteAnswer answer, const std::string& userID) {
    if (answer == DeleteAnswer::network) {
        services_.pending->mark(userID);
    } else if (answer != DeleteAnswer::unauthorized) {
        services_.pending->clear(userID);
    }
}

void AccountDeletion::finishDelete(DeleteAnswer answer, const AuthContext& asked, double started,
                                   StopWork stopWork, Completion<void(RemovalResult)> completion) {
    record(answer, asked.userID);
    const auto ms = static_cast<long long>((services_.clock->uptime() - started) * 1000);
    if (answer != DeleteAnswer::deleted) {
        Log::write("account", std::string("delete failed answer=") + toString(answer) +
                                  " ms=" + std::to_string(ms) + " — 아무것도 바꾸지 않음");
        completion(fail(error(answer)));
        return;
    }
    if (heldByAnotherUser(asked)) {
        finishElsewhere(asked.userID, ms, std::move(completion));
        return;
    }
    // The login asked under may be gone by now (the server ends the deleted account's session,
    // and a refresh meanwhile finds it refused): nobody else holds it, so the deletion is
    // settled here in full, the stored login and the optional key included.
    Log::write("account", "delete ok ms=" + std::to_string(ms) + " — 이 기기를 정리한다");
    wipe({asked.userID}, std::move(stopWork), false, std::move(completion));
}

void AccountDeletion::finishElsewhere(const std::string& userID, long long ms,
                                      Completion<void(RemovalResult)> completion) {
    // The deleted user's own files go; the login held now, whoever it is, stays as it is.
    forget({userID}, [ms, completion = std::move(completion)](std::optional<bool> local) mutable {
        Log::write("account", "delete ok ms=" + std::to_string(ms) +
                                  " local=" + (local ? word(*local) : "none") +
                                  " — 그사이 로그인한 계정이 바뀌어 지금의 로그인은 그대로 둔다");
        completion(fail(error(AuthCode::staleCompletion)));
    });
}

void AccountDeletion::forget(std::vector<std::string> users,
                             UniqueFunction<void(std::optional<bool> local)> then) {
    auto forgetting = std::make_shared<Forgetting>();
    forgetting->users = std::move(users);
    forgetting->then = std::move(then);
    forgetNext(std::move(forgetting));
}

void AccountDeletion::forgetNext(std::shared_ptr<Forgetting> forgetting) {
    if (forgetting->next == forgetting->users.size()) {
        services_.main->post([forgetting] { forgetting->then(forgetting->local); });
        return;
    }
    const std::string user = forgetting->users[forgetting->next++];
    services_.localData->forget(
        user, services_.files,
        [self = shared_from_this(), forgetting](std::optional<bool> forgotten) mutable {
            if (forgotten) {
                forgetting->local = forgetting->local.value_or(true) && *forgotten;
            }
            self->forgetNext(std::move(forgetting));
        });
}

// ---- wipe, settle, reset ----

void AccountDeletion::wipe(std::vector<std::string> users, StopWork stopWork, bool inferred,
                           Completion<void(RemovalResult)> completion) {
    const bool workStopped = stopWork ? stopWork() : true;
    const size_t count = users.size();
    forget(std::move(users),
           [self = shared_from_this(), count, inferred, workStopped,
            completion = std::move(completion)](std::optional<bool> local) mutable {
               self->signOutAfterWipe(count, inferred, workStopped, local, std::move(completion));
           });
}

void AccountDeletion::signOutAfterWipe(size_t count, bool inferred, bool workStopped,
                                       std::optional<bool> local,
                                       Completion<void(RemovalResult)> completion) {
    // The work is already stopped: the sign-out gets nothing more to stop.
    services_.account->signOut(
        nullptr, [self = shared_from_this(), count, inferred, workStopped, local,
                  completion = std::move(completion)](LogoutOutcome outcome) mutable {
            self->dropKey([self, count, inferred, workStopped, local, outcome,
                           completion = std::move(completion)](bool keyRemoved) mutable {
                self->setRefused(false);
                self->services_.pending->clear(std::nullopt);
                Log::write("account", std::string("wipe done inferred=") + word(inferred) +
                                          " users=" + std::to_string(count) +
                                          " local=" + (local ? word(*local) : "none") +
                                          " store_cleared=" + word(outcome.storeCleared) +
                                          " optional_key_removed=" + word(keyRemoved) +
                                          " work_stopped=" + word(workStopped) +
                                          " drained=" + word(outcome.operationsDrained));
                completion(Json{{"deleted", true},
                                {"inferred", inferred},
                                {"local_files_removed", local ? Json(*local) : Json(nullptr)},
                                {"credentials_absent_verified", outcome.storeCleared},
                                {"markers_removed", outcome.storeCleared},
                                {"optional_key_removed", keyRemoved},
                                {"runtime_files_removed", 0},
                                {"work_stopped", workStopped},
                                {"operations_drained", outcome.operationsDrained}});
            });
        });
}

void AccountDeletion::settle(StopWork stopWork, Completion<void(RemovalResult)> completion) {
    services_.main->post([self = shared_from_this(), stopWork = std::move(stopWork),
                          completion = std::move(completion)]() mutable {
        if (!self->cleanupOffered()) {
            Log::write("account", "settle refused — 물을 일이 없었다");
            completion(fail(error(AuthCode::cleanupNotOffered)));
            return;
        }
        const auto pending = self->services_.pending->users();
        self->wipe({pending.begin(), pending.end()}, std::move(stopWork), true,
                   std::move(completion));
    });
}

void AccountDeletion::resetLocalState(StopWork stopWork,
                                      Completion<void(RemovalResult)> completion) {
    services_.main->post([self = shared_from_this(), stopWork = std::move(stopWork),
                          completion = std::move(completion)]() mutable {
        auto account = self->services_.account;
        account->signOut(std::move(stopWork), [self, completion = std::move(completion)](
                                                  LogoutOutcome outcome) mutable {
            self->dropKey([self, outcome,
                           completion = std::move(completion)](bool keyRemoved) mutable {
                if (!outcome.storeCleared) {
                    Log::write("account",
                               "reset_local failed — 저장된 로그인을 지웠는지 확인하지 못함");
                    completion(fail(error(AuthCode::resetCredentialsUnconfirmed)));
                    return;
                }
                self->setRefused(false);
                self->services_.pending->clear(std::nullopt);
                Log::write("account",
                           std::string("reset_local ok optional_key_removed=") + word(keyRemoved));
                completion(Json{{"reset", true},
                                {"credentials_absent_verified", true},
                                {"markers_removed", true},
                                {"optional_key_removed", keyRemoved},
                                {"runtime_files_removed", 0},
                                {"work_stopped", outcome.workStopped},
                                {"operations_drained", outcome.operationsDrained}});
            });
        });
    });
}

void AccountDeletion::dropKey(UniqueFunction<void(bool removed)> then) {
    if (!services_.dropOptionalKey) {
        then(false);
        return;
    }
    services_.dropOptionalKey(onMain<bool>(
        [then = std::move(then)](AccountDeletion&, bool removed) mutable { then(removed); }));
}

}  // namespace parlendo
