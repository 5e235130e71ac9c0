#pragma once

#include "foundation/Function.h"
#include "server/ServerSessions.h"
#include "server/ServerTransport.h"

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// A connection session over libcurl: one multi handle driven by one worker thread, shared by every
// transport built over it, so connections, DNS answers and TLS sessions are reused across requests
// and no request gets a thread of its own. Built from a SessionConfiguration.
//
// Thread-safe: `perform` and `post` may be called from any thread; the work they start runs on the
// session thread. Destroying the session aborts transfers still running (their `done` receives
// CURLE_ABORTED_BY_CALLBACK) and joins the thread.
class CurlSession {
  public:
    // Connections kept open to one host; more requests to it wait for a free one.
    static constexpr long maxHostConnections = 6;
    // Idle connections kept for reuse: every connection of a full burst to the backend and to the
    // drafting API, so that no burst closes connections it will want again at once.
    static constexpr long maxCachedConnections = 2 * maxHostConnections;

    // The most answer bytes a transfer takes in, after decoding: answers of the API, and answers
    // of the routes that carry documents. A longer answer ends the transfer as a failure.
    static constexpr size_t apiAnswerLimit = size_t{8} << 20;
    static constexpr size_t documentAnswerLimit = size_t{64} << 20;

    // `trustedCAFile` replaces the system's trust store; only tests set it (the loopback stub
    // backend's certificate).
    explicit CurlSession(SessionConfiguration configuration,
                         std::optional<std::string> trustedCAFile = std::nullopt);
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    const SessionConfiguration& configuration() const { return configuration_; }

    // Applies the session's settings (time-out, TLS cap, trust, no cookies) to an easy handle.
    void configure(CURL* easy, double requestTimeout) const;

    // Sets the request method and body on an easy handle: a body goes as the POST fields (under
    // its own method when that is not POST); GET and HEAD go as such; a POST without a body sends
    // an empty one; any other method is sent as given.
    static void setMethod(CURL* easy, const std::string& method,
                          const std::optional<std::string>& body);
    // The header list of a request: every header as "name: value" ("name;" for an empty value),
    // then "Content-Type:" when none was given, so curl adds no type of its own, and "Expect:",
    // so a body is never held back for a 100-continue. The caller frees it. Null when a field
    // could change the request's framing (see isSafeHeader): such a request is never sent.
    static curl_slist* headerList(const HttpHeaders& headers);
    // Whether a field goes out as the one header line it claims to be: no CR, LF or NUL anywhere,
    // and a name that is not empty and holds no colon, blank or tab.
    static bool isSafeHeader(std::string_view name, std::string_view value);

    // A URL resolved against a base: the full URL, its host and its path (without the query).
    struct ResolvedUrl {
        std::string url;
        std::string host;
        std::string path;
    };
    // Resolves `path` (absolute or relative) against `base`; nullopt when the two make no URL.
    static std::optional<ResolvedUrl> resolve(const std::string& base, const std::string& path);

    // What a transfer received: the body, and the last response's Retry-After value. `tooLarge`
    // is set when the answer passed the limit and the transfer was cut off.
    struct Received {
        std::string body;
        std::optional<std::string> retryAfter;
        size_t limit = apiAnswerLimit;
        bool tooLarge = false;
    };
    // Points the easy handle's body and header callbacks at `into`, which must outlive the
    // transfer, and stops the transfer once the answer passes `limit` bytes.
    static void collect(CURL* easy, Received* into, size_t limit);

    // Runs the prepared transfer; `done` is called exactly once on the session thread with its
    // result. The caller keeps ownership of `easy` and may clean it up in `done`.
    void perform(CURL* easy, UniqueFunction<void(CURLcode)> done);
    // Runs `task` on the session thread (on the calling thread once the session is stopping).
    void post(Task task);
    bool isCurrent() const;

    // Easy handles are kept for reuse: the handle goes back to the session, reset, when released.
    using EasyHandle = std::unique_ptr<CURL, std::function<void(CURL*)>>;
    EasyHandle takeEasy();

  private:
    struct Engine;
    SessionConfiguration configuration_;
    std::optional<std::string> trustedCAFile_;
    std::shared_ptr<Engine> engine_;
};

}  // namespace parlendo
