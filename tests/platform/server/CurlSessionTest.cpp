#include <gtest/gtest.h>
#include "server/CurlSession.h"

namespace parlendo {
namespace {

TEST(CurlSessionResolve, RelativeAndAbsolutePathsAgainstTheProjectURL) {
    auto relative = CurlSession::resolve("https://proj.example.co", "/auth/v1/token?grant=x");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->url, "https://proj.example.co/auth/v1/token?grant=x");
    EXPECT_EQ(relative->host, "proj.example.co");
    EXPECT_EQ(relative->path, "/auth/v1/token");

    auto absolute = CurlSession::resolve("https://proj.example.co", "https://other.example/x");
    ASSERT_TRUE(absolute);
    EXPECT_EQ(absolute->host, "other.example");

    EXPECT_FALSE(CurlSession::resolve("not a url", "/x"));
}

}  // namespace
}  // namespace parlendo
