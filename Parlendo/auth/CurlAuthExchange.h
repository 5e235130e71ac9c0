#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "server/CurlSession.h"
#include "server/ServerGate.h"
#include "server/ServerTransport.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// One request to the auth service, ready to send.
struct AuthRequest {
    std::string url;   // absolute, already resolved against the project URL
    std::string path;  // the URL's path without its query (for the gate and the deadline line)
    std::string method;
    HttpHeaders headers;
    std::optional<std::string> body;
    double timeout = 15.0;  // seconds
};

// What came back. Without an HTTP answer (connection failure, time-out, cancellation) the status
// is 0 and the body empty.
struct AuthAnswer {
    bool transportFailed = false;
    int status = 0;
    std::string body;
    HttpHeaders headers;  // only "Retry-After", when the answer carried it
};

// Sends auth requests over a curl session. Every request gets a watchdog that cancels it when it
// is still running `watchdogGrace` seconds after its own time-out; answers of 400 and more are
// offered to the server gate (source "auth") before the caller sees them. The completion runs
// exactly once, on the session thread. Thread-safe: keeps no mutable state.
class CurlAuthExchange {
  public:
    static constexpr double watchdogGrace = 3.0;

    struct Services {
        std::shared_ptr<CurlSession> session;
        // None: failed answers are not reported.
        std::shared_ptr<ServerGate> gate;
        // Where the watchdog waits; the process's timer queue when none.
        ExecutorPtr watchdog;
        // Wall-clock seconds for reading Retry-After dates; the system clock when none.
        std::shared_ptr<const WallClock> clock;
    };

    explicit CurlAuthExchange(Services services);

    void start(AuthRequest request, Completion<void(AuthAnswer)> completion) const;

    // Hands the contract verdict of a failed answer to the gate.
    static void report(ServerGate& gate, const AuthAnswer& answer, const std::string& path,
                       double now);

  private:
    struct Transfer;

    Services services_;
};

}  // namespace parlendo
