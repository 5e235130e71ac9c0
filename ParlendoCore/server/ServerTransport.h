#pragma once

#include "foundation/Completion.h"
#include "foundation/VariantAccess.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// Orders header names as HTTP compares them: without regard to ASCII letter case.
struct HeaderNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return lower(x) < lower(y); });
    }

  private:
    static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
};

// Header fields by name, one field per name whatever its letter case: "apikey" and "APIKEY" are
// the same field. A write keeps the spelling the field was first stored under; `setHeader`
// replaces the spelling too.
using HttpHeaders = std::map<std::string, std::string, HeaderNameLess>;

// Sets `name` to `value`, replacing any field of that name in any letter case.
inline void setHeader(HttpHeaders& headers, std::string_view name, std::string value) {
    headers.erase(std::string(name));
    headers.emplace(std::string(name), std::move(value));
}

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
