#include "server/NetNotingAuthTransport.h"

#include "foundation/Overloaded.h"

namespace parlendo {

NetNotingAuthTransport::NetNotingAuthTransport(std::shared_ptr<AuthTransport> inner,
                                               std::shared_ptr<NetState> net)
    : inner_(std::move(inner)), net_(std::move(net)) {}

bool NetNotingAuthTransport::answered(const AuthFailure& failure) {
    return std::visit(overloaded{
                          [](const AuthFailure::Rejected&) { return true; },
                          [](const AuthFailure::Server&) { return true; },
                          [](const AuthFailure::ConfirmedInvalid&) { return true; },
                          [](const AuthFailure::RateLimited&) { return true; },
                          [](const AuthFailure::Network&) { return false; },
                          [](const AuthFailure::BadResponse&) { return false; },
                          [](const AuthFailure::Superseded&) { return false; },
                      },
                      failure.value());
}

namespace {
template <class R>
auto noting(std::shared_ptr<NetState> net, Completion<void(R)> completion) {
    return [net = std::move(net), completion = std::move(completion)](R result) mutable {
        if (net && (result || NetNotingAuthTransport::answered(result.error()))) {
            net->noteAnswered();
        }
        completion(std::move(result));
    };
}
}  // namespace

void NetNotingAuthTransport::signIn(const std::string& email, const std::string& password,
                                    Completion<void(AuthSessionResult)> completion) {
    inner_->signIn(email, password, noting(net_, std::move(completion)));
}

void NetNotingAuthTransport::signUp(
    const std::string& email, const std::string& password,
    Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) {
    inner_->signUp(email, password, noting(net_, std::move(completion)));
}

void NetNotingAuthTransport::refresh(const std::string& refreshToken,
                                     Completion<void(AuthSessionResult)> completion) {
    inner_->refresh(refreshToken, noting(net_, std::move(completion)));
}

void NetNotingAuthTransport::signOut(const std::string& accessToken,
                                     Completion<void(bool)> completion) {
    inner_->signOut(accessToken, std::move(completion));
}

}  // namespace parlendo
