#pragma once

#include <optional>

namespace parlendo {

// How a connection session to the backend behaves. The Linux layer builds its curl sessions
// from these values.
struct SessionConfiguration {
    double requestTimeout = 15.0;  // seconds, for requests that give none of their own
    // No cookie jar, no cache, no stored credentials.
    bool ephemeral = true;
    // False: a request without connectivity fails at once instead of waiting.
    bool waitsForConnectivity = false;
    // The highest TLS version allowed, as the protocol number (0x0303 is TLS 1.2).
    std::optional<int> maximumTLSVersion;
    bool operator==(const SessionConfiguration&) const = default;
};

// The two configurations every backend session is made from.
namespace ServerSessions {

inline constexpr double dataTimeout = 15.0;
inline constexpr int tls12 = 0x0303;

// Data, auth and the upload fallback.
SessionConfiguration data();
// The primary upload route: the same, capped at TLS 1.2.
SessionConfiguration upload();

}  // namespace ServerSessions

}  // namespace parlendo
