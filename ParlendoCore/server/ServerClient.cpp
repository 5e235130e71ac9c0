#include "server/ServerClient.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "server/ServerContract.h"

namespace parlendo {

struct ServerClient::Shared {
    std::shared_ptr<ServerTransport> transport;
    std::shared_ptr<AuthAccess> auth;
    std::string apiKey;
    Deliver deliver;
    bool awaited = true;
    std::shared_ptr<ServerGate> gate;
    std::shared_ptr<NetState> net;
    std::shared_ptr<const WallClock> clock;
};

// Everything one call needs, shared by the closures of its attempts.
struct ServerClient::Call {
    std::shared_ptr<const Shared> shared;
    AuthContext context;
    std::string path;
    std::string method;
    std::optional<std::string> body;
    HttpHeaders headers;  // the caller's own
    double timeout = 0;
    Completion<void(DetailedCallResult)> completion;
};

ServerClient::ServerClient(std::shared_ptr<ServerTransport> transport,
                           std::shared_ptr<AuthAccess> auth, std::string apiKey, Deliver deliver,
                           bool awaited, std::shared_ptr<ServerGate> gate,
                           std::shared_ptr<NetState> net, std::shared_ptr<const WallClock> clock)
    : shared_(std::make_shared<const Shared>(Shared{
          std::move(transport), std::move(auth), std::move(apiKey), std::move(deliver), awaited,
          std::move(gate), std::move(net), clock ? std::move(clock) : SystemClock::shared()})) {}

ServerClient::Deliver ServerClient::deliverOn(ExecutorPtr executor) {
    return [executor = std::move(executor)](Task task) {
        executor->post(std::move(task));
    };
}

HttpHeaders ServerClient::withRegion(std::string_view path, HttpHeaders headers) {
    if (path.find("/functions/v1/") != std::string_view::npos) {
        setHeader(headers, "x-region", std::string(region));
    }
    return headers;
}

CallFailure ServerClient::classify(int status) {
    if (status == 401) {
        return CallFailure::authRequired();
    }
    if (status == 429) {
        return CallFailure::quota();
    }
    if (status >= 500) {
        return CallFailure::unavailable();
    }
    return CallFailure::rejected(status);
}

void ServerClient::call(std::string path, std::string method, std::optional<Json> json,
                        HttpHeaders headers, double timeout,
                        Completion<void(CallResult)> completion) {
    callDetailed(std::move(path), std::move(method), std::move(json), std::move(headers), timeout,
                 [completion = std::move(completion)](DetailedCallResult result) mutable {
                     completion(std::move(result).map_error(
                         [](CallFailureDetail&& detail) { return std::move(detail.failure); }));
                 });
}

void ServerClient::callDetailed(std::string path, std::string method, std::optional<Json> json,
                                HttpHeaders headers, double timeout,
                                Completion<void(DetailedCallResult)> completion) {
    const Shared& shared = *shared_;
    auto early = [&shared, &completion](CallFailureDetail failure) {
        shared.deliver([completion = std::move(completion),
                        failure = std::move(failure)]() mutable { completion(fail(failure)); });
    };

    auto context = shared.auth->context();
    if (!context) {
        early(CallFailureDetail(CallFailure::authRequired()));
        return;
    }
    if (shared.gate) {
        if (auto replay = shared.gate->replay(path)) {
            auto feature = ServerContract::endpoint(path).feature;
            Log::write("server_gate", "replay path=" + feature.value_or("-") +
                                          " code=" + replay->contractCode().value_or("-"));
            early(std::move(*replay));
            return;
        }
    }
    if (!shared.auth->beginOperation(*context, shared.awaited)) {
        early(CallFailureDetail(CallFailure::authRequired()));
        return;
    }

    auto call = std::make_shared<Call>();
    call->shared = shared_;
    call->context = std::move(*context);
    call->path = std::move(path);
    call->method = std::move(method);
    call->headers = std::move(headers);
    call->timeout = timeout;
    call->completion = std::move(completion);
    if (json) {
        call->body = json::dump(*json);
        if (!call->body) {
            // Text that is not UTF-8 cannot be written as JSON. Sending the request without its
            // body could be taken for success, so the call fails here.
            Log::write("net", "path=" + call->path.substr(0, call->path.find('?')) + " method=" +
                                  call->method + " 본문을 JSON으로 만들 수 없어 보내지 않음");
            finish(call, fail(CallFailureDetail(CallFailure::badShape())));
            return;
        }
    }
    send(call, false);
}

void ServerClient::send(const std::shared_ptr<Call>& call, bool retried) {
    const Shared& shared = *call->shared;
    auto token = shared.auth->accessToken(call->context);
    if (!token) {
        finish(call, fail(CallFailureDetail(CallFailure::authRequired())));
        return;
    }
    ServerRequest request;
    request.path = call->path;
    request.method = call->method;
    request.body = call->body;
    // Header names compare without case: the client's own fields replace a caller's in any
    // spelling.
    request.headers = withRegion(call->path, call->headers);
    setHeader(request.headers, "apikey", shared.apiKey);
    setHeader(request.headers, "Authorization", "Bearer " + *token);
    setHeader(request.headers, "Content-Type", "application/json");
    request.timeout = call->timeout;
    shared.transport->send(std::move(request), [call, retried](ServerResponse response) {
        answer(call, retried, std::move(response));
    });
}

void ServerClient::answer(const std::shared_ptr<Call>& call, bool retried,
                          ServerResponse response) {
    const Shared& shared = *call->shared;
    std::visit(overloaded{
                   [&](ServerResponse::Failed& failed) {
                       auto kind = NetFailure::kind(failed.code);
                       if (kind == NetFailure::Kind::notConnected && shared.net) {
                           shared.net->noteNotConnected();
                       }
                       finish(call, fail(CallFailureDetail(CallFailure::unavailable(), std::nullopt,
                                                           std::nullopt, std::nullopt, kind)));
                   },
                   [&](ServerResponse::TimedOut&) {
                       finish(call, fail(CallFailureDetail(CallFailure::timeout())));
                   },
                   [&](ServerResponse::Unreachable&) {
                       finish(call, fail(CallFailureDetail(CallFailure::unavailable())));
                   },
                   [&](ServerResponse::Http& http) { answerHttp(call, retried, std::move(http)); },
               },
               response.value());
}

void ServerClient::answerHttp(const std::shared_ptr<Call>& call, bool retried,
                              ServerResponse::Http http) {
    const Shared& shared = *call->shared;
    if (shared.net) {
        shared.net->noteAnswered();
    }
    const int status = http.status;
    if (status >= 200 && status <= 299) {
        finish(call, DetailedCallResult(std::move(http.body)));
        return;
    }
    if (status == 401 && !retried) {
        shared.auth->recover([call](AuthSessionResult recovered) {
            if (!recovered) {
                finish(call, fail(CallFailureDetail(CallFailure::authRequired(), 401)));
                return;
            }
            send(call, true);
        });
        return;
    }

    // A wait the server announced with a 429 or 503, for the caller's retry.
    std::optional<double> retryAfter;
    if (status == 429 || status == 503) {
        retryAfter = ServerContract::retryAfter(ServerContract::header(http.headers, "Retry-After"),
                                                shared.clock->now());
    }

    auto endpoint = ServerContract::endpoint(call->path);
    if (endpoint.scope) {
        auto verdict =
            ServerContract::classify(status, ServerContract::parseBody(http.body), http.headers,
                                     *endpoint.scope, endpoint.feature, shared.clock->now());
        std::optional<CallFailureDetail> replay;
        if (verdict.code) {
            replay = ServerGate::replayFailure(verdict, status);
        }
        if (shared.gate) {
            shared.gate->observe(verdict, std::nullopt, status, replay, toString(*endpoint.scope));
        }
        if (replay) {
            replay->retryAfter = retryAfter;
            finish(call, fail(std::move(*replay)));
            return;
        }
    }

    if (status >= 500) {
        finish(call, fail(CallFailureDetail(CallFailure::unavailable(), status, std::nullopt,
                                            std::nullopt, std::nullopt, retryAfter)));
        return;
    }
    CallFailureDetail detail(classify(status), status);
    if (auto rejection = ServerRejection::parse(status, http.body)) {
        detail.failure = CallFailure::rejectedDetail(std::move(*rejection));
    } else if (status == 401) {
        detail.failure = CallFailure::authRequired();
    } else if (status == 429) {
        detail.failure = CallFailure::quota();
    } else {
        detail.failure = CallFailure::rejected(status);
    }
    if (status == 429) {
        detail.quotaBody = http.body.substr(0, CallFailureDetail::quotaBodyLimit);
    }
    detail.retryAfter = retryAfter;
    finish(call, fail(std::move(detail)));
}

void ServerClient::finish(const std::shared_ptr<Call>& call, DetailedCallResult result) {
    const Shared& shared = *call->shared;
    shared.auth->endOperation(shared.awaited);
    bool authRequired = !result && result.error().failure.is<CallFailure::AuthRequired>();
    if (!authRequired && !shared.auth->isCurrent(call->context)) {
        result = fail(CallFailureDetail(CallFailure::stale()));
    }
    shared.deliver([completion = std::move(call->completion),
                    result = std::move(result)]() mutable { completion(std::move(result)); });
}

}  // namespace parlendo
