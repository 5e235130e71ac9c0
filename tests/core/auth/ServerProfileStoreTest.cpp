#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "auth/ServerProfileStore.h"

namespace parlendo {
namespace {

const std::string profiles = "/rest/v1/profiles";

TEST(ServerProfileStore, ReadsAndCreatesTheRowOfTheSignedInUser) {
    testing::LogCapture logs;
    auto server = std::make_shared<testing::FakeServerCalling>();
    auto who = std::make_shared<testing::FakeSession>("u1&or=(x)");
    ServerProfileStore store(server, who);

    server->ok("GET", profiles, R"([{"username":"민지"}])");
    std::optional<Result<std::optional<std::string>, CallFailure>> name;
    store.username([&](auto r) { name = r; });
    EXPECT_EQ(**name, "민지");
    // The user id is escaped like every filter value.
    EXPECT_EQ(server->calls()[0].path,
              "/rest/v1/profiles?select=username&id=eq.u1%26or%3D%28x%29&limit=1");
    EXPECT_EQ(server->calls()[0].timeout, 8);

    server->ok("GET", profiles, "[]");
    server->ok("POST", profiles, "{}");
    std::optional<Result<void, CallFailure>> ensured;
    store.ensure("민지", [&](auto r) { ensured = r; });
    EXPECT_TRUE(*ensured);
    ASSERT_EQ(server->count(), 3u);
    EXPECT_EQ(server->calls()[2].method, "POST");
    EXPECT_EQ(server->calls()[2].json, (Json{{"id", "u1&or=(x)"}, {"username", "민지"}}));
    EXPECT_EQ(server->calls()[2].headers.at("Prefer"), "return=representation");
    EXPECT_TRUE(logs.contains("profile", "생성됨 username="));

    // An existing row is never renamed here.
    server->ok("GET", profiles, R"([{"id":"u1","username":"other"}])");
    store.ensure("new", [&](auto r) { ensured = r; });
    EXPECT_EQ(server->count(), 4u);
    EXPECT_TRUE(logs.contains("profile", "이미 있음"));

    who->setUser(std::nullopt);
    store.username([&](auto r) { name = r; });
    EXPECT_EQ(name->error(), CallFailure::authRequired());
    EXPECT_EQ(server->count(), 4u);
}

}  // namespace
}  // namespace parlendo
