#pragma once

#include "foundation/Json.h"
#include "server/ServerTransport.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The rejection contract "parlendo-reject-v1": turns one server answer into a verdict (the app is
// too old, a feature is off, the service is busy, auth is rate-limiting) and the app-gate reply
// into a decision. Pure functions over constant tables; callable from any thread.
// Times (`now`) are wall-clock seconds since the epoch.
namespace ServerContract {

enum class Kind { ok, updateRequired, featureOff, busy, authRateLimited, other };
enum class Scope { edge, rest, auth };

struct Verdict {
    Verdict() = default;
    Verdict(Kind kind_, std::optional<std::string> code_ = std::nullopt,
            std::optional<std::string> feature_ = std::nullopt,
            std::optional<double> retryAfter_ = std::nullopt,
            std::optional<std::string> notice_ = std::nullopt)
        : kind(kind_),
          code(std::move(code_)),
          feature(std::move(feature_)),
          retryAfter(retryAfter_),
          notice(std::move(notice_)) {}

    Kind kind = Kind::ok;
    std::optional<std::string> code;
    std::optional<std::string> feature;
    std::optional<double> retryAfter;  // seconds, already clamped to 1...1800
    std::optional<std::string> notice;
    bool operator==(const Verdict&) const = default;
};

struct GateDecision {
    GateDecision() = default;
    GateDecision(bool updateRequired_, std::optional<std::string> notice_,
                 std::vector<std::string> off_ = {}, std::optional<double> retryAfter_ = {})
        : updateRequired(updateRequired_),
          notice(std::move(notice_)),
          off(std::move(off_)),
          retryAfter(retryAfter_) {}

    bool updateRequired = false;
    std::optional<std::string> notice;
    std::vector<std::string> off;
    std::optional<double> retryAfter;
    bool operator==(const GateDecision&) const = default;
};

struct Endpoint {
    std::optional<Scope> scope;
    std::optional<std::string> feature;
    bool operator==(const Endpoint&) const = default;
};

inline constexpr std::string_view contract = "parlendo-reject-v1";
inline constexpr std::array<std::string_view, 9> features = {"generate", "translate",    "embed",
                                                             "ask",      "feedback",     "account",
                                                             "prefetch", "title_upload", "rest"};
inline constexpr std::array<std::string_view, 4> noticeKeys = {
    "update_required", "update_recommended", "maintenance", "service_paused"};
inline constexpr std::array<std::string_view, 5> wrapperCodes = {"P0001", "PT403", "PT426", "PT429",
                                                                 "PT503"};
inline constexpr std::array<std::string_view, 1> authRateCodes = {"over_request_rate_limit"};
inline constexpr double retryMin = 1.0;
inline constexpr double retryMax = 1800.0;
// Error bodies above this size are not parsed.
inline constexpr size_t maxParsedBody = 65536;

// The kind a contract code stands for; nullopt for codes outside the contract.
std::optional<Kind> kindOfCode(std::string_view code);
// The feature of an edge function; nullopt for functions outside the table.
std::optional<std::string> featureOfFunction(std::string_view name);
// The wait a verdict of this kind implies when it carries none (busy 60 s, feature off 300 s).
std::optional<double> defaultWait(Kind kind);
bool isFeature(std::string_view name);
bool isNoticeKey(std::string_view key);

// The verdict of raw answer bytes; nullopt when the path belongs to no scope.
std::optional<Verdict> classify(std::optional<int> status, std::string_view data,
                                const HttpHeaders& headers, std::string_view path, double now);
// The verdict of a parsed body (null when there is none).
Verdict classify(std::optional<int> status, const Json& body, const HttpHeaders& headers,
                 Scope scope, const std::optional<std::string>& feature, double now);

Endpoint endpoint(std::string_view path);
std::optional<std::string> header(const HttpHeaders& headers, std::string_view name);
// Seconds from a number, a text of seconds or an HTTP date, clamped to 1...1800; nullopt for
// anything else, negative values and dates in the past. Null means no value.
std::optional<double> retryAfter(const Json& value, double now);
std::optional<double> retryAfter(const std::optional<std::string>& value, double now);
// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") as seconds since the epoch.
std::optional<double> date(std::string_view httpDate);
bool versionBelow(std::string_view version, const std::optional<std::string>& minimum);
// The decision of an app-gate reply (null when there is none).
GateDecision gate(const Json& reply, std::string_view appVersion, std::string_view platform,
                  double now);

// JSON of at most maxParsedBody bytes, any top-level value; null when larger or unparsable.
Json parseBody(std::string_view data);

}  // namespace ServerContract

const char* toString(ServerContract::Kind kind);
std::optional<ServerContract::Kind> contractKindFromString(std::string_view text);
const char* toString(ServerContract::Scope scope);
std::optional<ServerContract::Scope> contractScopeFromString(std::string_view text);

}  // namespace parlendo
