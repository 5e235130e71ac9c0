#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "saving/ServerSourceStore.h"

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;

const std::string table = "/rest/v1/sources";
const std::string findPrefix =
    "/rest/v1/sources?select=source_id,title,url&deleted_at=is.null&limit=1&user_id=eq.user-1";

class ServerSourceStoreTest : public ::testing::Test {
  protected:
    ServerSourceStoreTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          store_(server_, session_, std::make_shared<FakeClock>(1'780'000'000.75)) {}

    SourceFindResult find(std::optional<std::string> url, std::string title) {
        std::optional<SourceFindResult> out;
        store_.find(std::move(url), std::move(title), [&](SourceFindResult r) { out = r; });
        EXPECT_TRUE(out);
        return out.value_or(fail(CallFailure::unavailable()));
    }
    std::optional<SourceRow> create(std::optional<std::string> url) {
        std::optional<SourceRow> out;
        bool done = false;
        store_.create("NEW-ID", "My Title", std::move(url), [&](std::optional<SourceRow> r) {
            out = std::move(r);
            done = true;
        });
        EXPECT_TRUE(done);
        return out;
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    ServerSourceStore store_;
};

TEST_F(ServerSourceStoreTest, FindsByEncodedURLOrElseByTitle) {
    server_->ok("GET", table, R"([{"source_id":"S1","title":7,"url":"https://a.example/x"}])");
    EXPECT_EQ(*find("https://a.example/x?q=1&b=2", "ignored"),
              (SourceRow{"S1", "ignored", "https://a.example/x"}));
    EXPECT_EQ(server_->calls().back().path,
              findPrefix + "&url=eq.https%3A%2F%2Fa%2Eexample%2Fx%3Fq%3D1%26b%3D2");
    EXPECT_EQ(server_->calls().back().timeout, 15.0);

    find("", "Tom & Jerry, a=b");
    EXPECT_EQ(server_->calls().back().path, findPrefix + "&title=eq.Tom%20%26%20Jerry%2C%20a%3Db");
    find(std::nullopt, "");
    EXPECT_EQ(server_->calls().back().path, findPrefix + "&title=eq.");
}

TEST_F(ServerSourceStoreTest, FindReportsNothingFoundAndFailures) {
    server_->ok("GET", table, "[]");
    server_->ok("GET", table, R"([{"source_id":5}])");
    server_->failure("GET", table, CallFailure::timeout());
    EXPECT_EQ(*find(std::nullopt, "t"), std::nullopt);
    EXPECT_EQ(find(std::nullopt, "t").error(), CallFailure::badShape());
    EXPECT_EQ(find(std::nullopt, "t").error(), CallFailure::timeout());
    session_->setUser(std::nullopt);
    EXPECT_EQ(find(std::nullopt, "t").error(), CallFailure::authRequired());
    EXPECT_EQ(server_->calls().size(), 3u);
}

TEST_F(ServerSourceStoreTest, CreateSendsTheRowAndPrefersTheServersCopy) {
    server_->ok("POST", table, R"([{"source_id":"SERVER-ID","title":"Server Title","url":null}])");
    server_->ok("POST", table, "");
    EXPECT_EQ(create(std::nullopt), (SourceRow{"SERVER-ID", "Server Title", std::nullopt}));
    const auto call = server_->calls().front();
    EXPECT_EQ(call.path, table);
    EXPECT_EQ(call.headers, (HttpHeaders{{"Prefer", "return=representation"}}));
    EXPECT_EQ(call.json, (Json{{"source_id", "NEW-ID"},
                               {"user_id", "user-1"},
                               {"title", "My Title"},
                               {"url", nullptr}}));
    // An answer without a representation gives the arguments back, without the URL.
    EXPECT_EQ(create("https://x.example"), (SourceRow{"NEW-ID", "My Title", std::nullopt}));
}

TEST_F(ServerSourceStoreTest, ADuplicateTurnsIntoASearchAndOtherFailuresAreLogged) {
    server_->failure("POST", table, testing::rejection(409, "23505"));
    server_->ok("GET", table, R"([{"source_id":"OLD","title":"My Title"}])");
    EXPECT_EQ(create("https://x.example"), (SourceRow{"OLD", "My Title", std::nullopt}));
    EXPECT_EQ(server_->calls().back().path, findPrefix + "&url=eq.https%3A%2F%2Fx%2Eexample");
    EXPECT_TRUE(log_.messages("source").empty());

    server_ = std::make_shared<FakeServerCalling>();
    store_ = ServerSourceStore(server_, session_);
    server_->failure("POST", table, testing::rejection(409, "23505"));
    server_->failure("GET", table, CallFailure::timeout());
    EXPECT_EQ(create(std::nullopt), std::nullopt);
    EXPECT_TRUE(log_.messages("source").empty());

    server_ = std::make_shared<FakeServerCalling>();
    store_ = ServerSourceStore(server_, session_);
    server_->failure("POST", table, testing::rejection(403, "42501"));
    EXPECT_EQ(create(std::nullopt), std::nullopt);
    EXPECT_EQ(log_.messages("source"), std::vector<std::string>{"저장 실패 rejected_403_42501"});

    session_->setUser(std::nullopt);
    EXPECT_EQ(create(std::nullopt), std::nullopt);
    EXPECT_EQ(server_->calls().size(), 1u);
}

TEST_F(ServerSourceStoreTest, TouchStampsTheRowOfTheUserOnly) {
    bool done = false;
    store_.touch("S1", [&] { done = true; });
    EXPECT_TRUE(done);
    const auto call = server_->calls().back();
    EXPECT_EQ(call.method, "PATCH");
    EXPECT_EQ(call.path, "/rest/v1/sources?user_id=eq.user-1&source_id=eq.S1");
    EXPECT_EQ(call.json, (Json{{"last_seen_at", "2026-05-28T20:26:40Z"}}));
    EXPECT_TRUE(log_.messages("source").empty());

    session_->setUser(std::nullopt);
    done = false;
    store_.touch("S1", [&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(server_->calls().size(), 1u);
}

}  // namespace
}  // namespace parlendo
