#pragma once

#include "foundation/Function.h"
#include "server/ServerSessions.h"

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// Runs the auth service's curl transfers: one multi handle driven by one worker thread, so no
// request gets a thread of its own and connections are reused. Built from a SessionConfiguration.
//
// Thread-safe: `perform` and `post` may be called from any thread; the work they start runs on the
// runner's thread. Destroying the runner aborts the transfers still running (their `done` receives
// CURLE_ABORTED_BY_CALLBACK) and joins the thread.
class AuthCurlRunner {
  public:
    // `trustedCAFile` replaces the system's trust store; only tests set it.
    explicit AuthCurlRunner(SessionConfiguration configuration,
                            std::optional<std::string> trustedCAFile = std::nullopt);
    ~AuthCurlRunner();
    AuthCurlRunner(const AuthCurlRunner&) = delete;
    AuthCurlRunner& operator=(const AuthCurlRunner&) = delete;

    const SessionConfiguration& configuration() const { return configuration_; }

    // Applies the configuration (time-out, TLS cap, trust) to an easy handle.
    void configure(CURL* easy, double requestTimeout) const;

    // Runs the prepared transfer; `done` is called exactly once on the runner's thread. The caller
    // keeps ownership of `easy` and may clean it up in `done`.
    void perform(CURL* easy, UniqueFunction<void(CURLcode)> done);
    // Runs `task` on the runner's thread (on the calling thread once the runner is stopping).
    void post(Task task);
    bool isCurrent() const;

  private:
    struct Engine;
    SessionConfiguration configuration_;
    std::optional<std::string> trustedCAFile_;
    std::shared_ptr<Engine> engine_;
};

}  // namespace parlendo
