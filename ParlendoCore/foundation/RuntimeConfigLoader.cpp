#include "foundation/RuntimeConfigLoader.h"

#include "foundation/Base64.h"
#include "foundation/FileIO.h"
#include "foundation/Regex.h"
#include "foundation/SHA256.h"
#include "foundation/Text.h"
#include "foundation/Url.h"

#include <vector>

namespace parlendo::RuntimeConfigLoader {

namespace {

constexpr size_t kMaxKeyCharacters = 8192;

ConfigError error(const char* code) {
    return ConfigError::reason(code);
}

// The patterns are anchored at both ends and must cover the whole text: ICU's "$" also matches
// before a final line break, which would let "abc\n" through as an id or a key.
bool fullMatch(const Regex& regex, const std::string& text) {
    return regex.matches(text);
}

const Regex& idPattern() {
    static const Regex regex("^[a-z0-9][a-z0-9_-]{0,63}$");
    return regex;
}

const Regex& publishablePattern() {
    static const Regex regex("^sb_publishable_[A-Za-z0-9_-]{16,256}$");
    return regex;
}

const Regex& tokenPiecePattern() {
    static const Regex regex("^[A-Za-z0-9_-]+$");
    return regex;
}

// The anon key is a JSON Web Token whose payload names the role "anon" and this project. The
// signature is not verified.
bool anonKeyValid(const std::string& key, const std::string& projectID) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t dot = key.find('.', start);
        pieces.push_back(key.substr(start, dot - start));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    if (pieces.size() != 3) {
        return false;
    }
    for (const auto& piece : pieces) {
        if (!fullMatch(tokenPiecePattern(), piece)) {
            return false;
        }
    }
    std::string payload = pieces[1];
    while (payload.size() % 4 != 0) {
        payload.push_back('=');
    }
    for (char& c : payload) {
        if (c == '-') {
            c = '+';
        } else if (c == '_') {
            c = '/';
        }
    }
    const auto bytes = Base64::decode(payload);
    if (!bytes) {
        return false;
    }
    const auto claims = json::parse(*bytes);
    if (!claims || !claims->is_object()) {
        return false;
    }
    return json::string(*claims, "role") == "anon" && json::string(*claims, "ref") == projectID;
}

bool projectURLValid(const std::string& text, const std::string& expectedHost) {
    const auto url = Url::parse(text);
    if (!url) {
        return false;
    }
    return url->scheme == "https" && url->host == expectedHost && !url->port &&
           (url->path.empty() || url->path == "/") && !url->query && !url->fragment &&
           !url->userInfo;
}

std::optional<Json> readProfile(const std::filesystem::path& path) {
    const auto contents = fileio::readFile(path);
    if (!contents) {
        return std::nullopt;
    }
    auto parsed = json::parse(*contents);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

bool defaultIsRelease(const AppBundle& bundle, const Environment& environment) {
    if (!bundle.identifier) {
        return false;
    }
    const auto it = environment.find("PARLENDO_DEVELOPER_MODE");
    return !(it != environment.end() && it->second == "1");
}

bool defaultIsRelease() {
    static const bool release =
        defaultIsRelease(AppBundle::main(), RuntimePaths::processEnvironment());
    return release;
}

const std::set<std::string>& profileFields() {
    static const std::set<std::string> fields{
        "schema_version",    "profile_id",       "project_id",
        "supabase_url",      "public_key_kind",  "public_key",
        "embedding_enabled", "dictionary_route", "deployment_kind"};
    return fields;
}

std::string canonicalSHA256(const Json& profile) {
    const auto text = json::dump(profile);
    if (!text) {
        return {};
    }
    return SHA256::hex(*text);
}

Result<RuntimeConfig, ConfigError> validate(const Json& profile, bool allowSynthetic,
                                            std::string_view projectDomainSuffix) {
    if (!profile.is_object()) {
        return fail(error("PROFILE_FIELDS_INVALID"));
    }
    std::set<std::string> keys;
    for (const auto& [key, value] : profile.items()) {
        keys.insert(key);
    }
    if (keys != profileFields()) {
        return fail(error("PROFILE_FIELDS_INVALID"));
    }

    RuntimeConfig config;
    // A number whose value is exactly 1 (1 and 1.0); never a boolean or a string.
    if (json::integer(profile, "schema_version") != 1) {
        return fail(error("PROFILE_VERSION_UNSUPPORTED"));
    }
    config.schemaVersion = 1;

    const auto embedding = json::boolean(profile, "embedding_enabled");
    if (!embedding) {
        return fail(error("PROFILE_POLICY_INVALID"));
    }
    config.embeddingEnabled = *embedding;
    const auto route = json::string(profile, "dictionary_route");
    if (!route || !routeFromString(*route)) {
        return fail(error("PROFILE_POLICY_INVALID"));
    }
    config.dictionaryRoute = RuntimeConfig::Route::rpcOnly;

    const auto profileID = json::string(profile, "profile_id");
    if (!profileID || !fullMatch(idPattern(), *profileID)) {
        return fail(error("PROFILE_ID_INVALID"));
    }
    const auto projectID = json::string(profile, "project_id");
    if (!projectID || !fullMatch(idPattern(), *projectID)) {
        return fail(error("PROFILE_ID_INVALID"));
    }
    config.profileID = *profileID;
    config.projectID = *projectID;

    const auto deploymentText = json::string(profile, "deployment_kind");
    const auto deployment = deploymentText ? deploymentFromString(*deploymentText) : std::nullopt;
    if (deployment == RuntimeConfig::Deployment::synthetic && !allowSynthetic) {
        return fail(error("SYNTHETIC_PROFILE_NOT_RELEASE"));
    }
    if (!deployment) {
        return fail(error("PROFILE_DEPLOYMENT_INVALID"));
    }
    config.deploymentKind = *deployment;
    const std::string suffix = *deployment == RuntimeConfig::Deployment::synthetic
                                   ? std::string(".invalid")
                                   : std::string(projectDomainSuffix);

    const auto url = json::string(profile, "supabase_url");
    if (!url || !projectURLValid(*url, *projectID + suffix)) {
        return fail(error("PROFILE_PROJECT_URL_MISMATCH"));
    }
    config.supabaseURL = *url;

    const auto key = json::string(profile, "public_key");
    if (!key || text::characterCount(*key) > kMaxKeyCharacters) {
        return fail(error("PUBLIC_KEY_INVALID"));
    }
    config.publicKey = *key;

    const auto kindText = json::string(profile, "public_key_kind");
    const auto kind = kindText ? keyKindFromString(*kindText) : std::nullopt;
    if (!kind) {
        return fail(error("PUBLIC_KEY_KIND_INVALID"));
    }
    switch (*kind) {
        case RuntimeConfig::KeyKind::publishable:
            if (!fullMatch(publishablePattern(), *key)) {
                return fail(error("PUBLIC_KEY_KIND_INVALID"));
            }
            break;
        case RuntimeConfig::KeyKind::anon:
            if (!anonKeyValid(*key, *projectID)) {
                return fail(error("PUBLIC_ANON_ROLE_PROJECT_INVALID"));
            }
            break;
    }
    config.publicKeyKind = *kind;

    config.profileSHA256 = canonicalSHA256(profile);
    config.source = "bundled_profile";
    return config;
}

Result<RuntimeConfig, ConfigError> load(const AppBundle& bundle, const Environment& environment,
                                        bool isRelease, std::string_view projectDomainSuffix) {
    const auto override = environment.find("PARLENDO_PROFILE");
    if (override != environment.end() && !override->second.empty()) {
        if (isRelease) {
            return fail(error("RELEASE_PROFILE_OVERRIDE_REFUSED"));
        }
        const auto profile = readProfile(override->second);
        if (!profile) {
            return fail(error("PUBLIC_PROFILE_UNREADABLE"));
        }
        auto config = validate(*profile, /*allowSynthetic=*/true, projectDomainSuffix);
        if (config) {
            config->source = "explicit_developer_profile";
        }
        return config;
    }

    auto path = bundle.resource("local_profile", "json");
    if (!path) {
        path = bundle.resource("public_profile", "json");
    }
    if (!path) {
        return fail(error("PUBLIC_PROFILE_UNREADABLE"));
    }
    const auto profile = readProfile(*path);
    if (!profile) {
        return fail(error("PUBLIC_PROFILE_UNREADABLE"));
    }
    return validate(*profile, /*allowSynthetic=*/!isRelease, projectDomainSuffix);
}

}  // namespace parlendo::RuntimeConfigLoader
