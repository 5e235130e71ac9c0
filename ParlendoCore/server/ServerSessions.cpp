#include "server/ServerSessions.h"

namespace parlendo::ServerSessions {

SessionConfiguration data() {
    SessionConfiguration configuration;
    configuration.requestTimeout = dataTimeout;
    configuration.ephemeral = true;
    configuration.waitsForConnectivity = false;
    return configuration;
}

SessionConfiguration upload() {
    SessionConfiguration configuration = data();
    configuration.maximumTLSVersion = tls12;
    return configuration;
}

}  // namespace parlendo::ServerSessions
