#pragma once

#include "server/ServerCalling.h"
#include "server/ServerTransport.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace parlendo {

// The transport under the upload client. It sends through the primary transport (whose session is
// capped at TLS 1.2) until the primary fails with a secure-connection failure; from then on, for
// the life of the process, it sends through the fallback (the shared data session), and the
// request that failed is resent there. The caller sees only the fallback's answer.
// Thread-safe: the switch is read and set under a lock that is never held while a request runs.
class UploadTransport final : public ServerTransport,
                              public std::enable_shared_from_this<UploadTransport> {
  public:
    enum class Path { upload, fallback };

    // The transport error codes that switch to the fallback: a failed secure connection.
    static const std::set<int>& fallbackCodes();

    UploadTransport(std::shared_ptr<ServerTransport> primary,
                    std::shared_ptr<ServerTransport> fallback);

    Path path() const;
    void send(ServerRequest request, Completion<void(ServerResponse)> completion) override;

  private:
    std::shared_ptr<ServerTransport> primary_;
    std::shared_ptr<ServerTransport> fallback_;
    mutable std::mutex mutex_;
    bool fellBack_ = false;
};

const char* toString(UploadTransport::Path path);

// The upload client and the label of the connection it uses now ("upload" or "fallback").
struct UploadRoute {
    std::shared_ptr<DetailedServerCalling> server;
    std::function<std::string()> conn;

    // The route over an upload transport: its label follows the transport's path.
    static UploadRoute over(std::shared_ptr<DetailedServerCalling> server,
                            const std::shared_ptr<UploadTransport>& transport);
};

}  // namespace parlendo
