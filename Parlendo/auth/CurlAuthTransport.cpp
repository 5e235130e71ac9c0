#include "auth/CurlAuthTransport.h"

#include "auth/AuthCode.h"
#include "auth/AuthWire.h"
#include "auth/ProfileOnboarding.h"
#include "foundation/ClientIdentity.h"
#include "foundation/Log.h"

#include <curl/curl.h>

namespace parlendo {

namespace {

constexpr const char* requestFailed = "REQUEST_FAILED";

bool isAsciiAlphanumeric(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

CurlAuthTransport::CurlAuthTransport(Services services)
    : services_(std::move(services)),
      exchange_(CurlAuthExchange::Services{services_.session, services_.gate, services_.watchdog,
                                           services_.clock}) {
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
    if (!services_.clientInfo) {
        services_.clientInfo = ClientIdentity::current();
    }
}

std::string CurlAuthTransport::encodeRedirect(std::string_view address) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size() * 3);
    for (char c : address) {
        auto byte = static_cast<unsigned char>(c);
        if (isAsciiAlphanumeric(byte)) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

Json CurlAuthTransport::credentials(const std::string& email, const std::string& password) {
    return Json::object({{"email", trimWhitespace(email)}, {"password", password}});
}

Result<AuthRequest, CurlAuthTransport::Unbuilt> CurlAuthTransport::build(const Call& call) const {
    auto resolved = CurlSession::resolve(services_.base, call.path);
    if (!resolved) {
        return fail(Unbuilt::address);
    }
    AuthRequest request;
    request.url = std::move(resolved->url);
    request.path = std::move(resolved->path);
    request.method = call.method;
    request.timeout = call.timeout;
    request.headers["apikey"] = services_.anonKey;
    request.headers["Authorization"] = "Bearer " + call.bearer.value_or(services_.anonKey);
    if (call.body) {
        request.headers["Content-Type"] = "application/json";
        request.body = json::dump(*call.body);
        if (!request.body) {
            // Text that is not UTF-8 cannot be written; the request is not sent without its body.
            Log::write("account",
                       "auth request refused — 본문을 JSON으로 만들 수 없음 path=" + request.path);
            return fail(Unbuilt::body);
        }
    }
    ClientIdentity::Request stamped{request.url, {}};
    if (ClientIdentity::stamp(stamped, services_.base, *services_.clientInfo)) {
        request.headers[ClientIdentity::header] = *services_.clientInfo;
    }
    return request;
}

AccountError CurlAuthTransport::unbuilt(Unbuilt why) {
    switch (why) {
        case Unbuilt::address:
            return AccountError("잘못된 주소", requestFailed);
        case Unbuilt::body:
            return AccountError("보낼 수 없는 글자가 들어 있음", requestFailed);
    }
    return AccountError("잘못된 주소", requestFailed);
}

void CurlAuthTransport::token(AuthRequest request, bool refreshSemantics,
                              Completion<void(Classified)> completion) {
    exchange_.start(
        std::move(request), [main = services_.main, clock = services_.clock, refreshSemantics,
                             completion = std::move(completion)](AuthAnswer answer) mutable {
            auto body = answer.transportFailed ? std::nullopt
                                               : std::optional<std::string_view>(answer.body);
            Classified classified = AuthWire::classify(answer.status, body, answer.transportFailed,
                                                       refreshSemantics, clock->now());
            main->post(
                [classified = std::move(classified), completion = std::move(completion)]() mutable {
                    completion(std::move(classified));
                });
        });
}

AccountError CurlAuthTransport::networkFailure() {
    // The code's own text, or the default message when it has none.
    return AccountError(std::nullopt, AuthCode::networkUnavailable);
}

AccountError CurlAuthTransport::accountFailure(int status, std::string_view body) {
    std::optional<std::string> message;
    if (auto parsed = json::parse(body); parsed && parsed->is_object()) {
        for (const char* key : {"error_description", "msg", "message"}) {
            if (auto text = json::string(*parsed, key)) {
                message = std::move(text);
                break;
            }
        }
    }
    if (!message) {
        message = "서버 오류 (" + std::to_string(status) + ")";
    }
    return AccountError(AccountMessages::authEndpoint(*message, status), requestFailed);
}

void CurlAuthTransport::account(AuthRequest request, Completion<void(VoidResult)> completion) {
    exchange_.start(std::move(request), [main = services_.main, completion = std::move(completion)](
                                            AuthAnswer answer) mutable {
        main->post([answer = std::move(answer), completion = std::move(completion)]() mutable {
            if (answer.transportFailed) {
                completion(fail(networkFailure()));
            } else if (answer.status >= 200 && answer.status <= 299) {
                completion(VoidResult());
            } else {
                completion(fail(accountFailure(answer.status, answer.body)));
            }
        });
    });
}

void CurlAuthTransport::sessionCall(Call call, bool refreshSemantics,
                                    Completion<void(AuthSessionResult)> completion) {
    auto request = build(call);
    if (!request) {
        completion(fail(AuthFailure::badResponse()));
        return;
    }
    token(std::move(*request), refreshSemantics,
          [clock = services_.clock, completion = std::move(completion)](Classified result) mutable {
              if (!result) {
                  completion(fail(std::move(result.error())));
                  return;
              }
              completion(AuthWire::parseSession(*result, clock->now()));
          });
}

void CurlAuthTransport::signIn(const std::string& email, const std::string& password,
                               Completion<void(AuthSessionResult)> completion) {
    sessionCall(Call{"POST", "/auth/v1/token?grant_type=password", std::nullopt,
                     credentials(email, password)},
                false, std::move(completion));
}

void CurlAuthTransport::signUp(
    const std::string& email, const std::string& password,
    Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) {
    Json body = credentials(email, password);
    std::optional<std::string> staged;
    {
        std::lock_guard lock(stagedMutex_);
        staged = std::exchange(stagedUsername_, std::nullopt);
    }
    if (staged) {
        body["data"] = Json::object({{"username", *staged}});
    }
    auto request = build(Call{"POST", "/auth/v1/signup", std::nullopt, std::move(body)});
    if (!request) {
        completion(fail(AuthFailure::badResponse()));
        return;
    }
    token(std::move(*request), false,
          [clock = services_.clock, completion = std::move(completion)](Classified result) mutable {
              if (!result) {
                  completion(fail(std::move(result.error())));
                  return;
              }
              completion(AuthWire::signUpResult(*result, clock->now()));
          });
}

void CurlAuthTransport::refresh(const std::string& refreshToken,
                                Completion<void(AuthSessionResult)> completion) {
    sessionCall(Call{"POST", "/auth/v1/token?grant_type=refresh_token", std::nullopt,
                     Json::object({{"refresh_token", refreshToken}})},
                true, std::move(completion));
}

void CurlAuthTransport::exchange(const std::string& refreshToken,
                                 Completion<void(AuthSessionResult)> completion) {
    sessionCall(Call{"POST", "/auth/v1/token?grant_type=refresh_token", std::nullopt,
                     Json::object({{"refresh_token", refreshToken}})},
                true, std::move(completion));
}

void CurlAuthTransport::signOut(const std::string& accessToken, Completion<void(bool)> completion) {
    auto request = build(Call{"POST", logoutPath, accessToken, std::nullopt, logoutTimeout});
    if (!request) {
        completion(false);
        return;
    }
    exchange_.start(
        std::move(*request), [completion = std::move(completion)](AuthAnswer answer) mutable {
            completion(!answer.transportFailed && answer.status >= 200 && answer.status <= 299);
        });
}

void CurlAuthTransport::revoke(const std::string& accessToken, Completion<void()> completion) {
    signOut(accessToken, [completion = std::move(completion)](bool) mutable { completion(); });
}

void CurlAuthTransport::resendConfirmation(const std::string& email,
                                           Completion<void(Result<void, AuthFailure>)> completion) {
    auto request = build(Call{"POST", "/auth/v1/resend", std::nullopt,
                              Json::object({{"type", "signup"}, {"email", email}})});
    if (!request) {
        completion(fail(AuthFailure::badResponse()));
        return;
    }
    token(std::move(*request), false,
          [completion = std::move(completion)](Classified result) mutable {
              if (!result) {
                  completion(fail(std::move(result.error())));
                  return;
              }
              completion(Result<void, AuthFailure>());
          });
}

void CurlAuthTransport::signupUsername(const std::string& accessToken,
                                       Completion<void(std::optional<std::string>)> completion) {
    auto request = build(Call{"GET", "/auth/v1/user", accessToken, std::nullopt});
    if (!request) {
        completion(std::nullopt);
        return;
    }
    token(std::move(*request), false,
          [completion = std::move(completion)](Classified result) mutable {
              completion(result ? AuthWire::signupUsername(*result) : std::nullopt);
          });
}

void CurlAuthTransport::recover(const std::string& email, const std::string& redirectTo,
                                Completion<void(VoidResult)> completion) {
    auto request = build(Call{"POST", "/auth/v1/recover?redirect_to=" + encodeRedirect(redirectTo),
                              std::nullopt, Json::object({{"email", email}})});
    if (!request) {
        completion(fail(unbuilt(request.error())));
        return;
    }
    account(std::move(*request), std::move(completion));
}

void CurlAuthTransport::updatePassword(const std::string& password, const std::string& accessToken,
                                       Completion<void(VoidResult)> completion) {
    auto request =
        build(Call{"PUT", "/auth/v1/user", accessToken, Json::object({{"password", password}})});
    if (!request) {
        completion(fail(unbuilt(request.error())));
        return;
    }
    account(std::move(*request), std::move(completion));
}

void CurlAuthTransport::stageSignUp(std::optional<std::string> username) {
    std::lock_guard lock(stagedMutex_);
    stagedUsername_ = std::move(username);
}

}  // namespace parlendo
