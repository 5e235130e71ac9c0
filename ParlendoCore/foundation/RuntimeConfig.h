#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The validated deployment profile: which backend project the program talks to and how.
// Loaded once at start-up (RuntimeConfigLoader) and never changed.
struct RuntimeConfig {
    enum class KeyKind { publishable, anon };
    enum class Route { rpcOnly };
    enum class Deployment { synthetic, release };

    std::int64_t schemaVersion = 1;
    std::string profileID;
    std::string projectID;
    std::string supabaseURL;  // as written in the profile
    KeyKind publicKeyKind = KeyKind::publishable;
    std::string publicKey;
    bool embeddingEnabled = false;
    Route dictionaryRoute = Route::rpcOnly;
    Deployment deploymentKind = Deployment::synthetic;
    std::string profileSHA256;  // 64 lower-case hex digits, empty when the profile didn't serialise
    std::string source;         // "bundled_profile" or "explicit_developer_profile"
    // Development builds only, refused in release mode like a profile override: where
    // connections to the project's host really go, as "HOST:PORT:CONNECT-HOST:CONNECT-PORT"
    // (PARLENDO_CONNECT_TO), and the certificates trusted instead of the system's store
    // (PARLENDO_CA_FILE). Together they point the program at a local stand-in of the backend.
    std::optional<std::string> connectTo;
    std::optional<std::string> trustedCAFile;

    bool isSynthetic() const { return deploymentKind != Deployment::release; }

    bool operator==(const RuntimeConfig&) const = default;
};

const char* toString(RuntimeConfig::KeyKind kind);
const char* toString(RuntimeConfig::Route route);
const char* toString(RuntimeConfig::Deployment deployment);
std::optional<RuntimeConfig::KeyKind> keyKindFromString(std::string_view text);
std::optional<RuntimeConfig::Route> routeFromString(std::string_view text);
std::optional<RuntimeConfig::Deployment> deploymentFromString(std::string_view text);

}  // namespace parlendo
