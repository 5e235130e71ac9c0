#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace parlendo::testing {

struct StubRequest;

// What the stub answers to one request.
struct StubAnswer {
    enum class Fault {
        none,
        drop,  // send the headers, then close the connection without the body
        hang,  // answer nothing until the stub stops (past any client time-out)
    };
    int status = 200;
    std::string body;
    std::map<std::string, std::string> headers;
    double delay = 0;  // seconds to wait before answering
    Fault fault = Fault::none;
    // When set, the body is made from the request (on one of the stub's threads).
    std::function<std::string(const StubRequest&)> makeBody;
    // When set, the body is this many bytes of "x", made while sending (nothing is held in
    // memory), with a Content-Length when `announceLength`, else chunked.
    size_t generatedBytes = 0;
    bool announceLength = true;

    static StubAnswer json(int status, std::string body,
                           std::map<std::string, std::string> headers = {});
    // A JSON answer whose body is made from each request, e.g. an insert that echoes its row.
    static StubAnswer from(int status, std::function<std::string(const StubRequest&)> makeBody);
    static StubAnswer dropped();
    static StubAnswer hanging();
    static StubAnswer generated(size_t bytes, bool announceLength);
};

// One request as the stub received it. `path` and `query` are the raw (still percent-encoded)
// parts of the request target.
struct StubRequest {
    std::string method;
    std::string target;
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name, ignoring case.
    std::optional<std::string> header(const std::string& name) const;
    // How many fields of that name arrived, ignoring case.
    size_t headerCount(const std::string& name) const;
};

// A loopback backend for tests of the curl adapters: listens on 127.0.0.1 on an ephemeral port,
// over TLS with the test certificate (TestCertificate) unless told otherwise, answers from a
// script, records every request, and produces faults on demand.
//
// Scripting: `on(method, path, answer)` queues an answer for requests with that method ("*" for
// any) and that path (without query); queued answers are used in order and the last one keeps
// answering. Unscripted requests get the fallback (404, empty body).
class StubBackend {
  public:
    struct Options {
        bool tls = true;
        // Refuse every TLS version below 1.3 (for the upload route's TLS 1.2 cap).
        bool tls13Only = false;
        // Every open connection holds one of these threads while it is kept alive.
        int threads = 32;
        // Answers go out as scripted, never compressed: compressing each small answer anew would
        // cost the stub far more than the client under test spends. The client's Accept-Encoding
        // is then dropped before the request is recorded.
        bool compress = false;
    };

    StubBackend();
    explicit StubBackend(Options options);
    ~StubBackend();
    StubBackend(const StubBackend&) = delete;
    StubBackend& operator=(const StubBackend&) = delete;

    // "https://127.0.0.1:<port>" (or http).
    std::string baseURL() const;
    int port() const { return port_; }
    // The PEM file the client under test must trust.
    static std::string caFile();

    void on(const std::string& method, const std::string& path, StubAnswer answer);
    void on(const std::string& path, StubAnswer answer) { on("*", path, std::move(answer)); }
    void setFallback(StubAnswer answer);
    // Answers requests ahead of the scripts whenever it gives an answer (an in-memory backend);
    // it runs on the stub's threads.
    using Responder = std::function<std::optional<StubAnswer>(const StubRequest&)>;
    void respondWith(Responder responder);

    std::vector<StubRequest> requests() const;
    size_t requestCount() const;
    // Bytes of generated bodies actually handed to connections.
    size_t generatedBytesSent() const;
    StubRequest lastRequest() const;
    // Waits (really: the stub runs on its own threads) until `count` requests have arrived.
    bool waitForRequests(size_t count, double seconds) const;

  private:
    struct State;
    void serve();

    Options options_;
    std::shared_ptr<State> state_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace parlendo::testing
