#pragma once

#include "foundation/Completion.h"
#include "foundation/VariantAccess.h"

#include <map>
#include <optional>
#include <string>
#include <variant>

namespace parlendo {

// Header fields by exact name (letter case matters: a later write replaces only the same spelling).
using HttpHeaders = std::map<std::string, std::string>;

// One request to the backend, built by the server client and carried by a transport.
// `body` holds raw bytes; none when the call has no JSON body.
struct ServerRequest {
    std::string path;  // path and query, relative to the project URL
    std::string method;
    std::optional<std::string> body;
    HttpHeaders headers;  // the complete header set
    double timeout = 0;   // seconds
    bool operator==(const ServerRequest&) const = default;
};

// The transport's one answer to a request.
class ServerResponse : public VariantAccess<ServerResponse> {
  public:
    // The server answered. `headers` holds only what the transport passes on (Retry-After).
    struct Http {
        int status = 0;
        std::string body;
        HttpHeaders headers;
        bool operator==(const Http&) const = default;
    };
    // The request failed with a URL-loading error code (negative, e.g. -1009).
    struct Failed {
        int code = 0;
        bool operator==(const Failed&) const = default;
    };
    struct TimedOut {
        bool operator==(const TimedOut&) const = default;
    };
    // Any other failure: no HTTP answer and no URL error code.
    struct Unreachable {
        bool operator==(const Unreachable&) const = default;
    };
    using Value = std::variant<Http, Failed, TimedOut, Unreachable>;

    ServerResponse(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static ServerResponse http(int status, std::string body, HttpHeaders headers = {}) {
        return ServerResponse(Value{Http{status, std::move(body), std::move(headers)}});
    }
    static ServerResponse failed(int code) { return ServerResponse(Value{Failed{code}}); }
    static ServerResponse timedOut() { return ServerResponse(Value{TimedOut{}}); }
    static ServerResponse unreachable() { return ServerResponse(Value{Unreachable{}}); }

    const Value& value() const { return value_; }
    Value& value() { return value_; }
    bool operator==(const ServerResponse&) const = default;

  private:
    Value value_;
};

// Sends one request and answers it exactly once. `send` may be called from any thread; the
// completion runs on the transport's own thread (or any thread).
class ServerTransport {
  public:
    virtual ~ServerTransport() = default;
    virtual void send(ServerRequest request, Completion<void(ServerResponse)> completion) = 0;
};

}  // namespace parlendo
