#include <gtest/gtest.h>

#include "BuildInfo.h"
#include "TempDir.h"
#include "foundation/Base64.h"
#include "foundation/RuntimeConfigLoader.h"
#include "foundation/SHA256.h"

#include <algorithm>

namespace parlendo {
namespace {

using testing::TempDir;
constexpr const char* kSuffix = ".supabase.co";

Json releaseProfile() {
    return Json{{"schema_version", 1},
                {"profile_id", "abc-prod"},
                {"project_id", "abc"},
                {"supabase_url", "https://abc.supabase.co"},
                {"public_key_kind", "publishable"},
                {"public_key", "sb_publishable_ABCDEFGHIJKLMNOP"},
                {"embedding_enabled", true},
                {"dictionary_route", "rpc_only"},
                {"deployment_kind", "release"}};
}

Json syntheticProfile() {
    Json profile = releaseProfile();
    profile["deployment_kind"] = "synthetic";
    profile["supabase_url"] = "https://abc.invalid/";
    return profile;
}

// The URL-safe Base64 of a token piece, without padding.
std::string base64url(std::string_view bytes) {
    std::string out = Base64::encode(bytes);
    std::replace(out.begin(), out.end(), '+', '-');
    std::replace(out.begin(), out.end(), '/', '_');
    out.erase(out.find_last_not_of('=') + 1);
    return out;
}

std::string jwt(const Json& claims) {
    return base64url(R"({"alg":"HS256","typ":"JWT"})") + "." + base64url(claims.dump()) +
           ".c2lnbmF0dXJl";
}

std::string codeOf(const Json& profile, bool allowSynthetic = false,
                   std::string_view suffix = kSuffix) {
    const auto result = RuntimeConfigLoader::validate(profile, allowSynthetic, suffix);
    return result ? "OK" : result.error().code();
}

Json with(Json profile, const std::string& key, Json value) {
    profile[key] = std::move(value);
    return profile;
}

TEST(RuntimeConfigLoader, ValidReleaseProfileBecomesTheWholeValue) {
    const auto config = RuntimeConfigLoader::validate(releaseProfile(), false, kSuffix);
    ASSERT_TRUE(config) << config.error().code();
    EXPECT_EQ(config->schemaVersion, 1);
    EXPECT_EQ(config->profileID, "abc-prod");
    EXPECT_EQ(config->projectID, "abc");
    EXPECT_EQ(config->supabaseURL, "https://abc.supabase.co");
    EXPECT_EQ(config->publicKeyKind, RuntimeConfig::KeyKind::publishable);
    EXPECT_EQ(config->publicKey, "sb_publishable_ABCDEFGHIJKLMNOP");
    EXPECT_TRUE(config->embeddingEnabled);
    EXPECT_EQ(config->dictionaryRoute, RuntimeConfig::Route::rpcOnly);
    EXPECT_EQ(config->deploymentKind, RuntimeConfig::Deployment::release);
    EXPECT_FALSE(config->isSynthetic());
    EXPECT_EQ(config->source, "bundled_profile");
    EXPECT_EQ(config->profileSHA256, RuntimeConfigLoader::canonicalSHA256(releaseProfile()));
    EXPECT_EQ(config->profileSHA256.size(), 64u);
}

TEST(RuntimeConfigLoader, KeySetMustBeExactlyTheNineFields) {
    EXPECT_EQ(RuntimeConfigLoader::profileFields().size(), 9u);
    EXPECT_EQ(codeOf(with(releaseProfile(), "extra", true)), "PROFILE_FIELDS_INVALID");
    Json missing = releaseProfile();
    missing.erase("deployment_kind");
    EXPECT_EQ(codeOf(missing), "PROFILE_FIELDS_INVALID");
    EXPECT_EQ(codeOf(Json::array()), "PROFILE_FIELDS_INVALID");
    EXPECT_EQ(codeOf(Json::object()), "PROFILE_FIELDS_INVALID");
}

TEST(RuntimeConfigLoader, SchemaVersionIsTheNumberOne) {
    EXPECT_EQ(codeOf(with(releaseProfile(), "schema_version", 1.0)), "OK");
    for (const Json& bad : {Json(true), Json("1"), Json(1.5), Json(2), Json(nullptr), Json(0)}) {
        EXPECT_EQ(codeOf(with(releaseProfile(), "schema_version", bad)),
                  "PROFILE_VERSION_UNSUPPORTED")
            << bad.dump();
    }
}

TEST(RuntimeConfigLoader, PolicySwitchesAreStrictlyTyped) {
    EXPECT_EQ(codeOf(with(releaseProfile(), "embedding_enabled", false)), "OK");
    EXPECT_EQ(codeOf(with(releaseProfile(), "embedding_enabled", 1)), "PROFILE_POLICY_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "embedding_enabled", "true")),
              "PROFILE_POLICY_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "dictionary_route", "rest")), "PROFILE_POLICY_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "dictionary_route", 1)), "PROFILE_POLICY_INVALID");
}

TEST(RuntimeConfigLoader, IdentifiersFollowTheirPattern) {
    const std::string longest = "a" + std::string(63, '9');
    EXPECT_EQ(codeOf(with(with(releaseProfile(), "profile_id", longest), "project_id", "a_b-c")),
              "PROFILE_PROJECT_URL_MISMATCH");  // ids pass; the URL no longer names the project
    EXPECT_EQ(codeOf(with(releaseProfile(), "profile_id", longest)), "OK");
    for (const Json& bad : {Json("Abc"), Json(""), Json("-abc"), Json("_abc"), Json(longest + "0"),
                            Json("ab.c"), Json("abc\n"), Json(7)}) {
        EXPECT_EQ(codeOf(with(releaseProfile(), "profile_id", bad)), "PROFILE_ID_INVALID")
            << bad.dump();
        EXPECT_EQ(codeOf(with(releaseProfile(), "project_id", bad)), "PROFILE_ID_INVALID")
            << bad.dump();
    }
}

TEST(RuntimeConfigLoader, EarlierRuleWins) {
    // Broken id and URL: the id is examined first.
    EXPECT_EQ(codeOf(with(with(releaseProfile(), "profile_id", "BAD"), "supabase_url", "http://x")),
              "PROFILE_ID_INVALID");
    // Broken version and policy.
    EXPECT_EQ(codeOf(with(with(releaseProfile(), "schema_version", 2), "embedding_enabled", 0)),
              "PROFILE_VERSION_UNSUPPORTED");
    // Broken deployment and key.
    EXPECT_EQ(codeOf(with(with(releaseProfile(), "deployment_kind", "x"), "public_key", 5)),
              "PROFILE_DEPLOYMENT_INVALID");
    // Broken key length and kind.
    EXPECT_EQ(codeOf(with(with(releaseProfile(), "public_key", std::string(8193, 'a')),
                          "public_key_kind", "secret")),
              "PUBLIC_KEY_INVALID");
}

TEST(RuntimeConfigLoader, DeploymentKindChoosesTheHostSuffix) {
    EXPECT_EQ(codeOf(syntheticProfile(), false), "SYNTHETIC_PROFILE_NOT_RELEASE");
    EXPECT_EQ(codeOf(syntheticProfile(), true), "OK");
    EXPECT_TRUE(RuntimeConfigLoader::validate(syntheticProfile(), true, kSuffix)->isSynthetic());
    // A synthetic profile must use the reserved ".invalid" host, a release one the provider's.
    EXPECT_EQ(codeOf(with(syntheticProfile(), "supabase_url", "https://abc.supabase.co"), true),
              "PROFILE_PROJECT_URL_MISMATCH");
    EXPECT_EQ(codeOf(with(releaseProfile(), "supabase_url", "https://abc.invalid"), true),
              "PROFILE_PROJECT_URL_MISMATCH");
    EXPECT_EQ(codeOf(releaseProfile(), false, ".example.net"), "PROFILE_PROJECT_URL_MISMATCH");
    EXPECT_EQ(codeOf(with(releaseProfile(), "supabase_url", "https://abc.example.net"), false,
                     ".example.net"),
              "OK");
    for (const Json& bad : {Json("staging"), Json("Release"), Json(nullptr), Json(true)}) {
        EXPECT_EQ(codeOf(with(releaseProfile(), "deployment_kind", bad), true),
                  "PROFILE_DEPLOYMENT_INVALID")
            << bad.dump();
    }
}

TEST(RuntimeConfigLoader, ProjectUrlRules) {
    EXPECT_EQ(codeOf(with(releaseProfile(), "supabase_url", "https://abc.supabase.co/")), "OK");
    for (const Json& bad : {
             Json("https://abc.supabase.co/rest"),
             Json("https://abc.supabase.co:443"),
             Json("https://abc.supabase.co:"),
             Json("https://abc.supabase.co?x=1"),
             Json("https://abc.supabase.co/?"),
             Json("https://abc.supabase.co#top"),
             Json("http://abc.supabase.co"),
             Json("HTTPS://abc.supabase.co"),
             Json("https://ABC.supabase.co"),
             Json("https://user@abc.supabase.co"),
             Json("https://@abc.supabase.co"),
             Json("https://xabc.supabase.co"),
             Json("https://abc.supabase.co.evil.example"),
             Json("https://evil.example\\@abc.supabase.co"),
             Json("abc.supabase.co"),
             Json(""),
             Json(42),
         }) {
        EXPECT_EQ(codeOf(with(releaseProfile(), "supabase_url", bad)),
                  "PROFILE_PROJECT_URL_MISMATCH")
            << bad.dump();
    }
}

TEST(RuntimeConfigLoader, PublishableKeyShape) {
    const std::string prefix = "sb_publishable_";
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + std::string(16, 'x'))), "OK");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + std::string(256, '-'))), "OK");
    // Too short a key is a kind failure, not a key failure.
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + std::string(15, 'x'))),
              "PUBLIC_KEY_KIND_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + std::string(257, 'x'))),
              "PUBLIC_KEY_KIND_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + "ABCDEFGHIJKLMNO!")),
              "PUBLIC_KEY_KIND_INVALID");
    // A trailing line break would end up in request headers.
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", prefix + std::string(16, 'x') + "\n")),
              "PUBLIC_KEY_KIND_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key_kind", "secret")),
              "PUBLIC_KEY_KIND_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key_kind", nullptr)),
              "PUBLIC_KEY_KIND_INVALID");
}

TEST(RuntimeConfigLoader, KeyLengthCountsCharactersNotBytes) {
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", 17)), "PUBLIC_KEY_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", std::string(8193, 'a'))),
              "PUBLIC_KEY_INVALID");
    // 8192 Hangul syllables are 24576 bytes but within the limit: the kind check refuses them.
    std::string hangul;
    for (int i = 0; i < 8192; ++i) {
        hangul += "가";
    }
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", hangul)), "PUBLIC_KEY_KIND_INVALID");
    EXPECT_EQ(codeOf(with(releaseProfile(), "public_key", hangul + "가")), "PUBLIC_KEY_INVALID");
}

TEST(RuntimeConfigLoader, AnonKeyNamesRoleAndProject) {
    auto anon = [](const std::string& key) {
        return with(with(releaseProfile(), "public_key_kind", "anon"), "public_key", key);
    };
    EXPECT_EQ(codeOf(anon(jwt({{"role", "anon"}, {"ref", "abc"}, {"iat", 1}}))), "OK");
    const auto config = RuntimeConfigLoader::validate(anon(jwt({{"role", "anon"}, {"ref", "abc"}})),
                                                      false, kSuffix);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->publicKeyKind, RuntimeConfig::KeyKind::anon);

    const std::string header = base64url(R"({"alg":"HS256"})");
    for (const std::string& bad : {
             jwt({{"role", "anon"}, {"ref", "other"}}),
             jwt({{"role", "service_role"}, {"ref", "abc"}}),
             jwt({{"ref", "abc"}}),
             jwt({{"role", "anon"}, {"ref", 7}}),
             header + ".." + base64url("{}"),                             // two dots in a row
             header + "." + base64url(R"({"role":"anon","ref":"abc"})"),  // two pieces
             header + "." + base64url(R"({"role":"anon","ref":"abc"})") + ".s.x",
             header + "." + base64url("[\"anon\"]") + ".sig",  // not an object
             header + "." + base64url("not json") + ".sig",
             header + ".abcde.sig",  // length 5: not Base64
             header + "." + base64url(R"({"role":"anon","ref":"abc"})") + "=.sig",
             std::string("sb_publishable_ABCDEFGHIJKLMNOP"),
         }) {
        EXPECT_EQ(codeOf(anon(bad)), "PUBLIC_ANON_ROLE_PROJECT_INVALID") << bad;
    }
}

TEST(RuntimeConfigLoader, CanonicalHashIgnoresLayout) {
    const auto a = json::parse(R"({"b": "/x", "a": 1})");
    const auto b = json::parse("{\n  \"a\":1,\n\t\"b\":\"\\/x\"\n}");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(RuntimeConfigLoader::canonicalSHA256(*a), RuntimeConfigLoader::canonicalSHA256(*b));
    // Sorted keys, no spaces, "/" not escaped.
    EXPECT_EQ(RuntimeConfigLoader::canonicalSHA256(*a), SHA256::hex(R"({"a":1,"b":"/x"})"));
    // Text that cannot be serialised gives no hash rather than a wrong one.
    EXPECT_EQ(RuntimeConfigLoader::canonicalSHA256(Json{{"a", std::string("\xFF")}}), "");
}

class RuntimeConfigLoad : public ::testing::Test {
  protected:
    AppBundle bundle(bool installed = false) const {
        AppBundle b;
        if (installed) {
            b.identifier = "local.parlendo.mac";
        }
        b.path = dir.path();
        b.resourceDirectory = dir.path() / "resources";
        std::filesystem::create_directories(b.resourceDirectory);
        return b;
    }
    void put(const std::string& name, const Json& profile) const {
        dir.write("resources/" + name, profile.dump(2));
    }
    static std::string codeOf(const Result<RuntimeConfig, ConfigError>& result) {
        return result ? "OK" : result.error().code();
    }

    TempDir dir;
};

TEST_F(RuntimeConfigLoad, NoProfileInTheBundle) {
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, false, kSuffix)),
              "PUBLIC_PROFILE_UNREADABLE");
}

TEST_F(RuntimeConfigLoad, LocalProfileComesFirstAndIsNeverSkipped) {
    put("public_profile.json", releaseProfile());
    auto config = RuntimeConfigLoader::load(bundle(), {}, true, kSuffix);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->profileID, "abc-prod");

    put("local_profile.json", with(releaseProfile(), "profile_id", "abc-local"));
    config = RuntimeConfigLoader::load(bundle(), {}, true, kSuffix);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->profileID, "abc-local");
    EXPECT_EQ(config->source, "bundled_profile");

    // A broken local profile is refused, not replaced by the public one.
    dir.write("resources/local_profile.json", "{ not json");
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, true, kSuffix)),
              "PUBLIC_PROFILE_UNREADABLE");
    put("local_profile.json", with(releaseProfile(), "schema_version", 2));
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, true, kSuffix)),
              "PROFILE_VERSION_UNSUPPORTED");
}

TEST_F(RuntimeConfigLoad, UnreadableFiles) {
    for (const char* contents : {"", "[1,2]", "\"text\"", "{\"a\":1} trailing", "\xFF\xFE"}) {
        dir.write("resources/public_profile.json", contents);
        EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, false, kSuffix)),
                  "PUBLIC_PROFILE_UNREADABLE")
            << contents;
    }
    std::filesystem::remove(dir.path() / "resources/public_profile.json");
    std::filesystem::create_directories(dir.path() / "resources/public_profile.json");
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, false, kSuffix)),
              "PUBLIC_PROFILE_UNREADABLE");
}

TEST_F(RuntimeConfigLoad, SyntheticBundleProfileOnlyOutsideReleaseMode) {
    put("public_profile.json", syntheticProfile());
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {}, false, kSuffix)), "OK");
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(true), {}, true, kSuffix)),
              "SYNTHETIC_PROFILE_NOT_RELEASE");
}

TEST_F(RuntimeConfigLoad, DeveloperProfileFromTheEnvironment) {
    put("public_profile.json", releaseProfile());
    const auto file = dir.write("dev.json", syntheticProfile().dump());
    const RuntimeConfigLoader::Environment env{{"PARLENDO_PROFILE", file.string()}};

    const auto config = RuntimeConfigLoader::load(bundle(), env, false, kSuffix);
    ASSERT_TRUE(config);
    EXPECT_TRUE(config->isSynthetic());
    EXPECT_EQ(config->source, "explicit_developer_profile");

    // Refused in release mode, however valid the file is.
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(true), env, true, kSuffix)),
              "RELEASE_PROFILE_OVERRIDE_REFUSED");
    // No fallback to the bundle when the file is missing or broken.
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(
                  bundle(), {{"PARLENDO_PROFILE", (dir.path() / "missing.json").string()}}, false,
                  kSuffix)),
              "PUBLIC_PROFILE_UNREADABLE");
    // Validation errors of the developer file are its own.
    const auto broken = dir.write("broken.json", with(syntheticProfile(), "x", 1).dump());
    EXPECT_EQ(codeOf(RuntimeConfigLoader::load(bundle(), {{"PARLENDO_PROFILE", broken.string()}},
                                               false, kSuffix)),
              "PROFILE_FIELDS_INVALID");
    // Empty means unset: the bundle's profile (release here) is loaded, even in release mode.
    const auto bundled =
        RuntimeConfigLoader::load(bundle(true), {{"PARLENDO_PROFILE", ""}}, true, kSuffix);
    ASSERT_TRUE(bundled);
    EXPECT_EQ(bundled->source, "bundled_profile");
}

TEST_F(RuntimeConfigLoad, SameContentSameHash) {
    const auto a = dir.write("a.json", R"({"schema_version":1,"profile_id":"p","project_id":"abc",
        "supabase_url":"https://abc.invalid","public_key_kind":"publishable",
        "public_key":"sb_publishable_0123456789abcdef","embedding_enabled":false,
        "dictionary_route":"rpc_only","deployment_kind":"synthetic"})");
    const auto b = dir.write("b.json", R"({ "deployment_kind" : "synthetic",
        "dictionary_route" : "rpc_only", "embedding_enabled" : false,
        "public_key" : "sb_publishable_0123456789abcdef", "public_key_kind" : "publishable",
        "supabase_url" : "https:\/\/abc.invalid", "project_id" : "abc", "profile_id" : "p",
        "schema_version" : 1 })");
    const auto first =
        RuntimeConfigLoader::load(bundle(), {{"PARLENDO_PROFILE", a.string()}}, false, kSuffix);
    const auto second =
        RuntimeConfigLoader::load(bundle(), {{"PARLENDO_PROFILE", b.string()}}, false, kSuffix);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
}

TEST(RuntimeConfigLoaderMode, ReleaseOnlyWhenInstalledAndNotInDeveloperMode) {
    AppBundle buildTree;
    EXPECT_FALSE(RuntimeConfigLoader::defaultIsRelease(buildTree, {}));
    EXPECT_FALSE(
        RuntimeConfigLoader::defaultIsRelease(buildTree, {{"PARLENDO_DEVELOPER_MODE", "0"}}));
    AppBundle installed;
    installed.identifier = "local.parlendo.mac";
    EXPECT_TRUE(RuntimeConfigLoader::defaultIsRelease(installed, {}));
    EXPECT_FALSE(
        RuntimeConfigLoader::defaultIsRelease(installed, {{"PARLENDO_DEVELOPER_MODE", "1"}}));
    EXPECT_TRUE(
        RuntimeConfigLoader::defaultIsRelease(installed, {{"PARLENDO_DEVELOPER_MODE", "true"}}));
    EXPECT_TRUE(
        RuntimeConfigLoader::defaultIsRelease(installed, {{"PARLENDO_DEVELOPER_MODE", ""}}));
}

TEST(RuntimeConfigLoaderShipped, SyntheticProfileServesDevelopmentBuildsOnly) {
    const auto file = std::filesystem::path(buildinfo::kResourceDirInTree) / "public_profile.json";
    const auto profile = json::parse(TempDir::read(file));
    ASSERT_TRUE(profile);
    const auto config = RuntimeConfigLoader::validate(*profile, /*allowSynthetic=*/true);
    ASSERT_TRUE(config) << config.error().code();
    EXPECT_TRUE(config->isSynthetic());
    EXPECT_EQ(config->supabaseURL, "https://" + config->projectID + ".invalid");

    const auto refused = RuntimeConfigLoader::validate(*profile, /*allowSynthetic=*/false);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code(), "SYNTHETIC_PROFILE_NOT_RELEASE");
}

}  // namespace
}  // namespace parlendo
