#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "lookup/ServerTitleVectorStore.h"

namespace parlendo {
namespace {

class ServerTitleVectorStoreTest : public ::testing::Test {
  protected:
    // Every request waits until the test answers it.
    ServerTitleVectorStoreTest() { server_->hold(true); }

    std::shared_ptr<testing::FakeServerCalling> server_ =
        std::make_shared<testing::FakeServerCalling>();
    std::shared_ptr<testing::FakeSession> session_ = std::make_shared<testing::FakeSession>();
    ServerTitleVectorStore store_{server_, session_};
    testing::LogCapture log_;

    std::optional<TitleVectorPresence> presence(const std::string& key) {
        std::optional<TitleVectorPresence> got;
        store_.presence(key, "gemini-embedding-001", [&](TitleVectorPresence p) { got = p; });
        return got;
    }
};

TEST_F(ServerTitleVectorStoreTest, ReadPathEscapesTheFilterValues) {
    session_->setUser("0b6f2c1e-aaaa-4bbb-8ccc-000000000001");
    EXPECT_EQ(presence("Q&A = 질문"), std::nullopt);
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.timeout, 15.0);
    EXPECT_FALSE(request.json);
    EXPECT_EQ(request.path,
              "/rest/v1/title_vectors?select=title_key&limit=1&user_id=eq."
              "0b6f2c1e-aaaa-4bbb-8ccc-000000000001&title_key=eq.Q%26A%20%3D%20질문"
              "&model=eq.gemini-embedding-001");
    // A user id cannot add a condition to the filter.
    EXPECT_EQ(ServerTitleVectorStore::presencePath("u&model=eq.x", "k", "m"),
              "/rest/v1/title_vectors?select=title_key&limit=1&user_id=eq.u%26model%3Deq%2Ex"
              "&title_key=eq.k&model=eq.m");
}

TEST_F(ServerTitleVectorStoreTest, PresenceByRowsAndUnknownOnFailure) {
    std::vector<TitleVectorPresence> got;
    auto ask = [&] {
        store_.presence("k", "m", [&](TitleVectorPresence p) { got.push_back(p); });
    };
    ask();
    server_->releaseNext("[]");
    ask();
    server_->releaseNext(R"([{"title_key":"k"},{"title_key":"k"}])");
    ask();
    server_->releaseNext(fail(CallFailure::timeout()));
    ask();
    server_->releaseNext(R"({"title_key":"k"})");
    ask();
    server_->releaseNext(R"([1])");
    EXPECT_EQ(got, (std::vector<TitleVectorPresence>{
                       TitleVectorPresence::absent, TitleVectorPresence::present,
                       TitleVectorPresence::unknown, TitleVectorPresence::unknown,
                       TitleVectorPresence::unknown}));
    EXPECT_TRUE(log_.messages("title_vec").empty());

    std::vector<bool> exists;
    store_.exists("k", "m", [&](bool e) { exists.push_back(e); });
    server_->releaseNext(fail(CallFailure::unavailable()));
    store_.exists("k", "m", [&](bool e) { exists.push_back(e); });
    server_->releaseNext(R"([{}])");
    EXPECT_EQ(exists, (std::vector<bool>{false, true}));
}

TEST_F(ServerTitleVectorStoreTest, UpsertMergesByUserAndTitle) {
    std::vector<bool> written;
    store_.upsert("Title", "SRC-1", {0.5, -1}, "gemini-embedding-001",
                  [&](bool ok) { written.push_back(ok); });
    auto request = server_->calls().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/rest/v1/title_vectors?on_conflict=user_id,title_key");
    EXPECT_EQ(request.headers, (HttpHeaders{{"Prefer", "resolution=merge-duplicates"}}));
    EXPECT_EQ(request.timeout, 15.0);
    EXPECT_EQ(request.json, (Json{{"user_id", "user-1"},
                                  {"title_key", "Title"},
                                  {"source_id", "SRC-1"},
                                  {"embedding", {0.5, -1.0}},
                                  {"model", "gemini-embedding-001"}}));
    server_->releaseNext("");
    store_.upsert("Title", "SRC-1", {}, "m", [&](bool ok) { written.push_back(ok); });
    server_->releaseNext(fail(CallFailure::rejectedDetail({409, "23503", "fk"})));
    EXPECT_EQ(written, (std::vector<bool>{true, false}));
    EXPECT_EQ(log_.messages("title_vec"),
              std::vector<std::string>{"업로드 실패 rejected_409_23503"});
}

TEST_F(ServerTitleVectorStoreTest, NobodySignedInSendsNothing) {
    session_->setUser(std::nullopt);
    EXPECT_EQ(presence("k"), TitleVectorPresence::unknown);
    std::optional<bool> written;
    store_.upsert("k", "s", {1}, "m", [&](bool ok) { written = ok; });
    EXPECT_EQ(written, false);
    EXPECT_EQ(server_->count(), 0u);
    EXPECT_TRUE(log_.messages("title_vec").empty());
}

}  // namespace
}  // namespace parlendo
