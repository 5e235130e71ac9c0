#include "auth/ProfileOnboarding.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"

namespace parlendo {

Json ProfileState::bridgeData() const {
    return std::visit(overloaded{
                          [](const Ready& r) {
                              return Json{{"username", r.username}};
                          },
                          [](const NeedProfile& n) {
                              return Json{{"need_profile", true},
                                          {"suggested_username",
                                           n.suggested ? Json(*n.suggested) : Json(nullptr)},
                                          {"username_rejected", n.rejected}};
                          },
                      },
                      value_);
}

void ProfileOnboarding::settle(
    Completion<void(Result<ProfileState, CallFailure>)> completion) const {
    auto self = *this;
    auto named = [self](Result<std::optional<std::string>, CallFailure> result,
                        Completion<void(Result<ProfileState, CallFailure>)> done) {
        if (!result) {
            done(fail(result.error()));
            return;
        }
        if (*result) {
            done(ProfileState(ProfileState::Ready{**result}));
            return;
        }
        self.account->signupUsername([self, done = std::move(done)](
                                         std::optional<std::string> name) mutable {
            if (!name) {
                Log::write("account", "profile missing — 가입 때 정한 이름 없음 · 이름을 묻는다");
                done(ProfileState(ProfileState::NeedProfile{std::nullopt, false}));
                return;
            }
            self.create(*name, [done = std::move(done)](ProfileState state) mutable {
                done(std::move(state));
            });
        });
    };
    profiles->username([self, named, completion = std::move(completion)](
                           Result<std::optional<std::string>, CallFailure> first) mutable {
        if (first || first.error().is<CallFailure::AuthRequired>() ||
            first.error().is<CallFailure::Stale>()) {
            named(std::move(first), std::move(completion));
            return;
        }
        Log::write("account",
                   "profile read failed reason=" + first.error().logReason() + " — 한 번 더");
        self.profiles->username(
            [named, completion = std::move(completion)](
                Result<std::optional<std::string>, CallFailure> second) mutable {
                named(std::move(second), std::move(completion));
            });
    });
}

void ProfileOnboarding::create(const std::string& username,
                               Completion<void(ProfileState)> completion) const {
    profiles->ensure(username, [username, completion = std::move(completion)](
                                   Result<void, CallFailure> result) mutable {
        if (result) {
            completion(ProfileState::Ready{username});
            return;
        }
        Log::write("account", "profile create refused reason=" + result.error().logReason() +
                                  " — 이름을 다시 묻는다");
        completion(ProfileState::NeedProfile{username, true});
    });
}

void ProfileOnboarding::fillIn(const ProfileState& state, const std::optional<std::string>& email,
                               Completion<void(ProfileState)> completion) const {
    const auto* need = state.as<ProfileState::NeedProfile>();
    if (!need) {
        completion(state);
        return;
    }
    std::string name = !need->rejected && need->suggested ? *need->suggested : localPart(email);
    create(name, std::move(completion));
}

void ProfileOnboarding::ensureReady(const std::optional<std::string>& email,
                                    Completion<void(bool)> completion) const {
    auto self = *this;
    settle([self, email,
            completion = std::move(completion)](Result<ProfileState, CallFailure> settled) mutable {
        if (!settled) {
            completion(false);
            return;
        }
        self.fillIn(*settled, email,
                    [completion = std::move(completion)](ProfileState state) mutable {
                        completion(state.is<ProfileState::Ready>());
                    });
    });
}

std::string ProfileOnboarding::localPart(const std::optional<std::string>& email) {
    if (email) {
        size_t start = 0;
        while (start <= email->size()) {
            size_t at = email->find('@', start);
            if (at == std::string::npos) {
                at = email->size();
            }
            if (at > start) {
                return email->substr(start, at - start);
            }
            start = at + 1;
        }
    }
    return "user";
}

namespace AccountMessages {

std::string authEndpoint(const std::string& message, int code) {
    const std::string m = PyText::lower(message);
    auto has = [&](const char* part) {
        return m.find(part) != std::string::npos;
    };
    if (has("invalid login credentials")) {
        return "이메일 또는 비밀번호가 맞지 않아요.";
    }
    if (has("already registered") || has("already exists")) {
        return "이미 가입된 이메일이에요. 로그인해 주세요.";
    }
    if (has("password") && has("6")) {
        return "비밀번호는 6자 이상이어야 해요.";
    }
    if (code == 429) {
        return "요청이 너무 잦아요. 잠시 뒤 다시 해주세요.";
    }
    return message;
}

std::string profileFailure(const CallFailure& error) {
    const std::string offline = "서버에 연결하지 못했어요. 인터넷 연결을 확인해 주세요.";
    return std::visit(
        overloaded{
            [](const CallFailure::Rejected& r) {
                return "서버 오류 (" + std::to_string(r.status) + ")";
            },
            [](const CallFailure::RejectedDetail& d) {
                if (!d.rejection.message.empty()) {
                    return d.rejection.message;
                }
                return "서버 오류 (" + std::to_string(d.rejection.status) + ")";
            },
            [](const CallFailure::AuthRequired&) { return std::string("로그인이 필요해요."); },
            [](const CallFailure::Stale&) {
                return std::string("세션이 바뀌었어요. 다시 시도해 주세요.");
            },
            [&](const CallFailure::Timeout&) { return offline; },
            [&](const CallFailure::Unavailable&) { return offline; },
            [](const CallFailure::Quota&) {
                return std::string("요청이 너무 잦아요. 잠시 뒤 다시 해주세요.");
            },
            [](const CallFailure::BadShape&) {
                return std::string("서버 응답을 이해하지 못했어요.");
            },
        },
        error.value());
}

}  // namespace AccountMessages
}  // namespace parlendo
