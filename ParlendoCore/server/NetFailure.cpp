#include "server/NetFailure.h"

namespace parlendo {

namespace NetFailure {

Kind kind(int urlErrorCode) {
    switch (urlErrorCode) {
        case code::notConnected:
        case code::dataNotAllowed:
        case code::roamingOff:
            return Kind::notConnected;
        case code::connectionLost:
            return Kind::connectionLost;
        default:
            return Kind::other;
    }
}

std::string name(int urlErrorCode) {
    if (urlErrorCode >= -1206 && urlErrorCode <= -1201) {
        return "tls_certificate";
    }
    switch (urlErrorCode) {
        case code::dataNotAllowed:
            return "data_not_allowed";
        case code::roamingOff:
            return "roaming_off";
        case code::cannotParseResponse:
            return "cannot_parse_response";
        case code::badServerResponse:
            return "bad_server_response";
        case code::notConnected:
            return "not_connected";
        case code::dnsFailed:
            return "dns_failed";
        case code::connectionLost:
            return "connection_lost";
        case code::cannotConnect:
            return "cannot_connect";
        case code::cannotFindHost:
            return "cannot_find_host";
        case code::timedOut:
            return "timed_out";
        case code::cancelled:
            return "cancelled";
        case code::tlsFailed:
            return "tls_failed";
        default:
            return "url_" + std::to_string(urlErrorCode);
    }
}

std::string name(std::string_view domain, long long code) {
    if (domain == urlErrorDomain) {
        return name(static_cast<int>(code));
    }
    return std::string(domain) + "#" + std::to_string(code);
}

}  // namespace NetFailure

const char* toString(NetFailure::Kind kind) {
    switch (kind) {
        case NetFailure::Kind::notConnected:
            return "not_connected";
        case NetFailure::Kind::connectionLost:
            return "connection_lost";
        case NetFailure::Kind::other:
            return "other";
    }
    return "other";
}

std::optional<NetFailure::Kind> netFailureKindFromString(std::string_view text) {
    for (auto kind : {NetFailure::Kind::notConnected, NetFailure::Kind::connectionLost,
                      NetFailure::Kind::other}) {
        if (text == toString(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

}  // namespace parlendo
