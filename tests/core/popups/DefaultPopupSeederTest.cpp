#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "popups/DefaultPopupSeeder.h"

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;

class DefaultPopupSeederTest : public ::testing::Test {
  protected:
    DefaultPopupSeederTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("u1")),
          seeder_(DefaultPopupSeeder::make(server_, session_, [this](const std::string& reason) {
              changes_.push_back(reason);
          })) {
        server_->setFallback(std::string("[]"));
    }

    // A read that answers the queued row lists in turn.
    DefaultPopupSeeder::Read read() {
        return [this](Completion<void(RowsResult)> done) {
            ++reads_;
            auto next = reads_ <= static_cast<int>(pages_.size()) ? pages_[reads_ - 1]
                                                                  : RowsResult(std::vector<Json>{});
            done(std::move(next));
        };
    }

    std::optional<DefaultPopupSeeder::SeedResult> ensure() {
        std::optional<DefaultPopupSeeder::SeedResult> out;
        seeder_->ensure(read(), [&](DefaultPopupSeeder::SeedResult result) { out = result; });
        return out;
    }

    testing::LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::vector<std::string> changes_;
    std::shared_ptr<DefaultPopupSeeder> seeder_;
    std::vector<RowsResult> pages_;
    int reads_ = 0;
};

TEST_F(DefaultPopupSeederTest, UserWithRowsIsNeverSeeded) {
    pages_ = {std::vector<Json>{Json{{"id", "1"}}}, std::vector<Json>{}};
    auto first = ensure();
    ASSERT_TRUE(first && *first);
    EXPECT_EQ((*first)->rows.size(), 1u);
    EXPECT_FALSE((*first)->seeded);
    // The user deleted every row meanwhile: still no defaults in this run.
    auto second = ensure();
    EXPECT_TRUE((*second)->rows.empty());
    EXPECT_FALSE((*second)->seeded);
    EXPECT_TRUE(server_->calls().empty());
}

TEST_F(DefaultPopupSeederTest, EmptyUserGetsTheTwoDefaultsOnce) {
    pages_ = {std::vector<Json>{}, std::vector<Json>{Json{{"id", "a"}}, Json{{"id", "b"}}}};
    auto result = ensure();
    ASSERT_TRUE(result && *result);
    EXPECT_TRUE((*result)->seeded);
    EXPECT_EQ((*result)->rows.size(), 2u);
    EXPECT_EQ(reads_, 2);
    EXPECT_EQ(changes_, std::vector<std::string>{"seed"});
    EXPECT_EQ(log_.messages("popup_settings"), std::vector<std::string>{"기본 팝업 2개를 넣음"});

    auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, "/rest/v1/assistants");
    EXPECT_EQ(calls[0].method, "POST");
    EXPECT_EQ(calls[0].timeout, 10);
    const Json& body = *calls[0].json;
    ASSERT_EQ(body.size(), 2u);
    EXPECT_EQ(body[0]["user_id"], "u1");
    EXPECT_EQ(body[0]["position"], 0);
    EXPECT_EQ(body[1]["position"], 1);
    EXPECT_EQ(body[1]["name"], "문장");

    reads_ = 0;
    pages_.clear();
    auto again = ensure();
    EXPECT_FALSE((*again)->seeded);
    EXPECT_EQ(server_->calls().size(), 1u);
}

TEST_F(DefaultPopupSeederTest, DuplicateInsertReadsBackWithoutAnnouncing) {
    server_->failure("POST", "/rest/v1/assistants", testing::uniqueViolation());
    pages_ = {std::vector<Json>{}, std::vector<Json>{Json{{"id", "x"}}}};
    auto result = ensure();
    ASSERT_TRUE(result && *result);
    EXPECT_FALSE((*result)->seeded);
    EXPECT_EQ((*result)->rows.size(), 1u);
    EXPECT_TRUE(changes_.empty());
}

TEST_F(DefaultPopupSeederTest, FailedInsertIsTriedAgainLater) {
    server_->failure("POST", "/rest/v1/assistants", CallFailure::timeout());
    server_->ok("POST", "/rest/v1/assistants", "[]");
    auto failed = ensure();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->error(), CallFailure::timeout());
    reads_ = 0;
    auto retried = ensure();
    EXPECT_TRUE((*retried)->seeded);
    EXPECT_EQ(server_->calls().size(), 2u);
}

TEST_F(DefaultPopupSeederTest, NoUserOrAccountSwitch) {
    session_->setUser(std::nullopt);
    auto none = ensure();
    EXPECT_EQ(none->error(), CallFailure::authRequired());
    EXPECT_EQ(reads_, 0);

    session_->setUser("u1");
    seeder_->ensure(
        [this](Completion<void(RowsResult)> done) {
            session_->setUser("u2");
            done(std::vector<Json>{});
        },
        [](DefaultPopupSeeder::SeedResult result) {
            ASSERT_TRUE(result);
            EXPECT_FALSE(result->seeded);
        });
    EXPECT_TRUE(server_->calls().empty());

    pages_ = {RowsResult(fail(CallFailure::badShape()))};
    reads_ = 0;
    EXPECT_EQ(ensure()->error(), CallFailure::badShape());
}

}  // namespace
}  // namespace parlendo
