#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The vocabulary of network failures: a kind for decisions and a stable snake_case name for logs.
// Codes are the URL-loading error codes that transports report (negative, e.g. -1009).
namespace NetFailure {

enum class Kind { notConnected, connectionLost, other };

// The domain of URL-loading error codes; other domains are named "<domain>#<code>" in logs.
inline constexpr std::string_view urlErrorDomain = "url";

// URL-loading error codes the transports produce.
namespace code {
inline constexpr int cancelled = -999;
inline constexpr int timedOut = -1001;
inline constexpr int unsupportedURL = -1002;
inline constexpr int cannotFindHost = -1003;
inline constexpr int cannotConnect = -1004;
inline constexpr int connectionLost = -1005;
inline constexpr int dnsFailed = -1006;
inline constexpr int notConnected = -1009;
inline constexpr int badServerResponse = -1011;
inline constexpr int cannotParseResponse = -1017;
inline constexpr int roamingOff = -1018;
inline constexpr int dataLengthExceedsMaximum = -1103;
inline constexpr int dataNotAllowed = -1020;
inline constexpr int tlsFailed = -1200;
inline constexpr int tlsCertificateUntrusted = -1202;
}  // namespace code

Kind kind(int urlErrorCode);
std::string name(int urlErrorCode);
std::string name(std::string_view domain, long long code);

}  // namespace NetFailure

const char* toString(NetFailure::Kind kind);
std::optional<NetFailure::Kind> netFailureKindFromString(std::string_view text);

}  // namespace parlendo
