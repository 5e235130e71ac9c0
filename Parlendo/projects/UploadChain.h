#pragma once

#include "projects/UploadTransport.h"
#include "server/CurlSession.h"
#include "server/ServerClient.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The transports and the client under document uploads, built once when the application starts:
// a transport over its own session capped at TLS 1.2 (labelled "upload"), a transport over the
// shared data session (labelled "fallback"), the UploadTransport that switches between them, the
// backend client over it and the route the project service takes.
struct UploadChain {
    struct Parts {
        std::string base;        // the project URL
        std::string clientInfo;  // the X-Client-Info value
        std::shared_ptr<CurlSession> dataSession;
        std::shared_ptr<AuthAccess> auth;
        std::string apiKey;
        ServerClient::Deliver deliver;
        bool awaited = true;
        std::shared_ptr<ServerGate> gate;
        std::shared_ptr<NetState> net;
        // Replace the system's trust store of the upload session and send its connections to a
        // loopback stand-in of the backend (tests and development runs only; see CurlSession).
        std::optional<std::string> trustedCAFile;
        std::optional<std::string> connectTo;
    };

    std::shared_ptr<CurlSession> uploadSession;
    std::shared_ptr<UploadTransport> transport;
    std::shared_ptr<ServerClient> client;
    UploadRoute route;

    static UploadChain make(Parts parts);
};

}  // namespace parlendo
