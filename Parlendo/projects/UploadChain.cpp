#include "projects/UploadChain.h"

#include "server/CurlServerTransport.h"
#include "server/ServerSessions.h"

namespace parlendo {

UploadChain UploadChain::make(Parts parts) {
    UploadChain chain;
    chain.uploadSession = std::make_shared<CurlSession>(
        ServerSessions::upload(), std::move(parts.trustedCAFile), std::move(parts.connectTo));
    auto primary = std::make_shared<CurlServerTransport>(parts.base, chain.uploadSession, "upload",
                                                         parts.clientInfo);
    auto fallback = std::make_shared<CurlServerTransport>(parts.base, parts.dataSession, "fallback",
                                                          parts.clientInfo);
    chain.transport = std::make_shared<UploadTransport>(primary, fallback);
    chain.client = std::make_shared<ServerClient>(
        chain.transport, std::move(parts.auth), std::move(parts.apiKey), std::move(parts.deliver),
        parts.awaited, std::move(parts.gate), std::move(parts.net));
    chain.route = UploadRoute::over(chain.client, chain.transport);
    return chain;
}

}  // namespace parlendo
