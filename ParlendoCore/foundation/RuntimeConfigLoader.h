#pragma once

#include "BuildInfo.h"
#include "foundation/AppBundle.h"
#include "foundation/ConfigError.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "foundation/RuntimeConfig.h"
#include "foundation/RuntimePaths.h"

#include <set>
#include <string>
#include <string_view>

namespace parlendo {

// Chooses, reads and validates the deployment profile. Every refusal is a ConfigError whose
// code names the first rule the profile broke; nothing is accepted partially and there is no
// fallback profile.
namespace RuntimeConfigLoader {

using Environment = RuntimePaths::Environment;

// Release mode: only an installed program (its bundle has an identifier) whose environment does
// not set PARLENDO_DEVELOPER_MODE to "1".
bool defaultIsRelease(const AppBundle& bundle, const Environment& environment);
// The same for this process (main bundle, process environment), worked out once.
bool defaultIsRelease();

// PARLENDO_PROFILE when set and not empty (refused in release mode), else the bundle's
// local_profile.json, else its public_profile.json. Synthetic profiles are accepted from
// PARLENDO_PROFILE, and from the bundle only outside release mode. PARLENDO_CONNECT_TO and
// PARLENDO_CA_FILE, when not empty, are refused in release mode like PARLENDO_PROFILE and
// otherwise checked ("DEVELOPER_CONNECTION_INVALID") and carried in the value.
Result<RuntimeConfig, ConfigError> load(
    const AppBundle& bundle, const Environment& environment, bool isRelease,
    std::string_view projectDomainSuffix = buildinfo::kProjectDomainSuffix);

// Validates a parsed profile; the value's source is "bundled_profile". A release profile's
// project URL host must be the project id followed by `projectDomainSuffix`.
Result<RuntimeConfig, ConfigError> validate(
    const Json& profile, bool allowSynthetic,
    std::string_view projectDomainSuffix = buildinfo::kProjectDomainSuffix);

// SHA-256 (64 lower-case hex digits) of the profile serialised with sorted keys and unescaped
// slashes, so that whitespace and key order in the file don't change it; empty when the profile
// cannot be serialised.
std::string canonicalSHA256(const Json& profile);

// The nine keys of a profile.
const std::set<std::string>& profileFields();

}  // namespace RuntimeConfigLoader
}  // namespace parlendo
