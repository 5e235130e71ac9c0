#include <gtest/gtest.h>

#include "BuildInfo.h"
#include "foundation/AppBundle.h"
#include "foundation/ClientIdentity.h"
#include "foundation/Constants.h"

namespace parlendo {
namespace {

TEST(ClientIdentity, BuildLabelsAreEightDigitsDotTwo) {
    EXPECT_EQ(ClientIdentity::version("20260105.03"), "0.2.0+20260105.03");
    EXPECT_EQ(ClientIdentity::value("20260105.03"), "parlendo-mac/0.2.0+20260105.03");
    EXPECT_EQ(Constants::serverAppVersion("20260105.03"), "0.2.0+mac.20260105.03");
    for (const std::optional<std::string>& bad :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("2026010503"), std::optional<std::string>("20260105.3"),
          std::optional<std::string>("20260105.034"), std::optional<std::string>("2026010.034"),
          std::optional<std::string>("20260105-03"), std::optional<std::string>("20260105.03\n"),
          std::optional<std::string>(" 20260105.03"),
          std::optional<std::string>("２０２６０１０５.03")}) {
        EXPECT_EQ(ClientIdentity::version(bad), "0.2.0") << bad.value_or("(none)");
        EXPECT_EQ(ClientIdentity::value(bad), "parlendo-mac/0.2.0");
        EXPECT_EQ(Constants::serverAppVersion(bad), "0.2.0+mac");
    }
}

TEST(ClientIdentity, CurrentValuesComeFromTheBundle) {
    const auto& label = AppBundle::main().buildLabel;
    EXPECT_EQ(ClientIdentity::currentVersion(), ClientIdentity::version(label));
    EXPECT_EQ(ClientIdentity::current(), "parlendo-mac/" + ClientIdentity::currentVersion());
    // The build stamps a valid label, so the build tree reports it.
    EXPECT_EQ(ClientIdentity::currentVersion(), std::string("0.2.0+") + buildinfo::kBuildLabel);
}

TEST(Constants, MatchTheBuild) {
    EXPECT_STREQ(Constants::appVersion, buildinfo::kVersion);
    EXPECT_STREQ(Constants::edgeRegion, "ap-northeast-2");
    EXPECT_STREQ(Constants::platformMark, "mac");
}

TEST(ClientIdentity, StampsOnlyRequestsToTheProjectHost) {
    const std::string base = "https://abc.supabase.co";
    ClientIdentity::Request request{"https://ABC.Supabase.co/rest/v1/words?select=*",
                                    {{"apikey", "k"}, {"x-client-info", "old"}}};
    EXPECT_TRUE(ClientIdentity::stamp(request, base, "parlendo-mac/0.2.0"));
    EXPECT_EQ(request.headers, (std::map<std::string, std::string>{
                                   {"apikey", "k"}, {"X-Client-Info", "parlendo-mac/0.2.0"}}));

    for (const char* url : {"https://api.example.com/v1/models", "https://abc.supabase.co.evil/x",
                            "https://evil.example/?u=https://abc.supabase.co",
                            "mailto:abc.supabase.co", "/rest/v1/words", "not a url", ""}) {
        ClientIdentity::Request other{url, {{"apikey", "k"}}};
        EXPECT_FALSE(ClientIdentity::stamp(other, base, "v")) << url;
        EXPECT_EQ(other.headers, (std::map<std::string, std::string>{{"apikey", "k"}}));
    }
    // A base without a host stamps nothing.
    ClientIdentity::Request any{"https://abc.supabase.co/x", {}};
    EXPECT_FALSE(ClientIdentity::stamp(any, "", "v"));
    EXPECT_TRUE(any.headers.empty());
    // Ports and user information do not change the host.
    ClientIdentity::Request ported{"https://u@abc.supabase.co:8443/x", {}};
    EXPECT_TRUE(ClientIdentity::stamp(ported, base, "v"));
}

}  // namespace
}  // namespace parlendo
