#pragma once

#include "server/CurlSession.h"
#include "server/ServerTransport.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace parlendo {

// Carries one backend request over libcurl: resolves the request path against the project URL,
// sends it on the given session, and answers with exactly one ServerResponse, on the session
// thread. Writes one timing line per request (tag "net"); `conn` labels the upload routes' lines.
// A request whose headers could change its framing is never sent (unreachable); an answer longer
// than the transport's limit fails with the URL error "data length exceeds maximum".
// Keeps no mutable state: `send` may be called from any thread.
class CurlServerTransport final : public ServerTransport {
  public:
    // `base` is the project URL; `clientInfo` is the X-Client-Info value, sent only to its host;
    // `answerLimit` is the most answer bytes taken in (CurlSession::documentAnswerLimit for the
    // transports that carry documents).
    CurlServerTransport(std::string base, std::shared_ptr<CurlSession> session,
                        std::optional<std::string> conn, std::string clientInfo,
                        size_t answerLimit = CurlSession::apiAnswerLimit);

    void send(ServerRequest request, Completion<void(ServerResponse)> completion) override;

    // Every byte outside ASCII as %XX; everything else as it stands.
    static std::string percentEncodeNonAscii(std::string_view text);
    // The URL-loading error code of a curl failure (nullopt: no such code; `osErrno` is the
    // transfer's last socket error).
    static std::optional<int> urlErrorCode(CURLcode code, long osErrno);

  private:
    struct Transfer;
    static void finish(std::unique_ptr<Transfer> transfer, CURLcode result);
    // The URL of a request path and whether it goes to the project host; none when the path
    // makes no URL.
    std::optional<std::pair<std::string, bool>> locate(const std::string& path) const;

    std::string base_;
    std::string baseHost_;
    // The project URL's scheme and authority ("https://host:port"), which every path starting
    // with one slash is sent to.
    std::string origin_;
    std::shared_ptr<CurlSession> session_;
    std::optional<std::string> conn_;
    std::string clientInfo_;
    size_t answerLimit_;
};

}  // namespace parlendo
