#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "lookup/TitleVectorUploader.h"

#include <chrono>
#include <deque>
#include <future>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::ManualExecutor;

std::vector<double> vectorOf(double value) {
    return std::vector<double>(768, value);
}

// A store whose calls either answer at once (the scripted answer) or wait for the test.
class ScriptedStore final : public TitleVectorStore {
  public:
    void exists(std::string, std::string, Completion<void(bool)> completion) override {
        completion(false);
    }
    void presence(std::string key, std::string model,
                  Completion<void(TitleVectorPresence)> completion) override {
        checks.push_back(key + "|" + model);
        if (holdPresence) {
            heldPresence.push_back(std::move(completion));
        } else {
            completion(presenceAnswer);
        }
    }
    void upsert(std::string key, std::string sourceID, std::vector<double> vector,
                std::string model, Completion<void(bool)> completion) override {
        writes.push_back({key, sourceID, model, vector.size() ? vector[0] : 0});
        completion(upsertAnswer);
    }
    struct Write {
        std::string key, sourceID, model;
        double first;
        bool operator==(const Write&) const = default;
    };
    TitleVectorPresence presenceAnswer = TitleVectorPresence::absent;
    bool upsertAnswer = true;
    bool holdPresence = false;
    std::vector<std::string> checks;
    std::deque<Completion<void(TitleVectorPresence)>> heldPresence;
    std::vector<Write> writes;
};

class ScriptedEmbedder final : public TitleEmbedding {
  public:
    bool enabled() const override { return on; }
    void embed(std::string text, Completion<void(EmbedClient::Outcome)> completion) override {
        texts.push_back(text);
        if (hold) {
            held.push_back(std::move(completion));
        } else {
            completion(answer);
        }
    }
    bool on = true;
    bool hold = false;
    EmbedClient::Outcome answer = vectorOf(0.25);
    std::vector<std::string> texts;
    std::deque<Completion<void(EmbedClient::Outcome)>> held;
};

class TitleVectorUploaderTest : public ::testing::Test {
  protected:
    TitleVectorUploaderTest()
        : clock_(std::make_shared<FakeClock>()),
          queue_(std::make_shared<ManualExecutor>(clock_)),
          uploader_(TitleVectorUploader::make(store_, embedder_, session_, queue_, clock_)) {}
    ~TitleVectorUploaderTest() override {
        store_->heldPresence.clear();
        embedder_->held.clear();
    }

    void request(std::optional<std::string> key, std::optional<std::string> source = "SRC") {
        uploader_->request(std::move(key), std::move(source), [this] { ++done_; });
    }
    void run() { queue_->runAll(); }

    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> queue_;
    std::shared_ptr<ScriptedStore> store_ = std::make_shared<ScriptedStore>();
    std::shared_ptr<ScriptedEmbedder> embedder_ = std::make_shared<ScriptedEmbedder>();
    std::shared_ptr<testing::FakeSession> session_ = std::make_shared<testing::FakeSession>();
    std::shared_ptr<TitleVectorUploader> uploader_;
    testing::LogCapture log_;
    int done_ = 0;
};

TEST_F(TitleVectorUploaderTest, RefusedRequestsFinishAtOnce) {
    request(std::nullopt);
    request("");
    request("Title", std::nullopt);
    EXPECT_EQ(done_, 3);
    EXPECT_EQ(queue_->pending(), 0u);
    uploader_->request(std::nullopt, "SRC");  // without a done
    EXPECT_EQ(queue_->pending(), 0u);
}

TEST_F(TitleVectorUploaderTest, ChecksEmbedsWritesAndCounts) {
    request("Docs — Page", "SRC-1");
    EXPECT_EQ(done_, 0);
    clock_->advance(0.5);
    EXPECT_EQ(store_->checks, std::vector<std::string>{"Docs — Page|gemini-embedding-001"});
    EXPECT_EQ(embedder_->texts, std::vector<std::string>{"Docs — Page"});
    EXPECT_EQ(store_->writes, (std::vector<ScriptedStore::Write>{
                                  {"Docs — Page", "SRC-1", "gemini-embedding-001", 0.25}}));
    EXPECT_EQ(done_, 1);
    EXPECT_TRUE(uploader_->cache().isStored("Docs — Page"));
    EXPECT_EQ(uploader_->statsLine(), "stats prewarm=0 upload=1 upload_ok=1 embed=1");
    // The form that never waits reads the same line on the queue.
    std::string line;
    uploader_->statsLine([&](std::string read) { line = std::move(read); });
    EXPECT_EQ(line, "");
    run();
    EXPECT_EQ(line, "stats prewarm=0 upload=1 upload_ok=1 embed=1");
    EXPECT_EQ(log_.messages("title_vec"),
              std::vector<std::string>{"업로드됨 key=" + Log::redact("Docs — Page") +
                                       " save_to_upload_ms=0"});

    // Known to be stored: no second check.
    request("Docs — Page", "SRC-2");
    run();
    EXPECT_EQ(store_->checks.size(), 1u);
    EXPECT_EQ(done_, 2);
}

TEST_F(TitleVectorUploaderTest, ADuplicateInFlightIsDroppedUntilTheFirstEnds) {
    store_->holdPresence = true;
    request("T", "S");
    request("T", "S");
    run();
    EXPECT_EQ(done_, 1);  // the duplicate
    EXPECT_EQ(store_->checks.size(), 1u);
    store_->presenceAnswer = TitleVectorPresence::unknown;
    store_->heldPresence.front()(TitleVectorPresence::unknown);
    store_->heldPresence.pop_front();
    run();
    EXPECT_EQ(done_, 2);
    EXPECT_EQ(log_.messages("title_vec"),
              std::vector<std::string>{"건너뜀 reason=exists_failed — 다음 저장 때 다시"});

    // Nothing was remembered: the same request asks the server again.
    store_->holdPresence = false;
    store_->presenceAnswer = TitleVectorPresence::present;
    request("T", "S");
    run();
    EXPECT_EQ(store_->checks.size(), 2u);
    EXPECT_TRUE(uploader_->cache().isStored("T"));
    EXPECT_EQ(log_.messages("title_vec").back(), "서버에 이미 있음 — 건너뜀");
    EXPECT_TRUE(embedder_->texts.empty());
}

TEST_F(TitleVectorUploaderTest, TwoSourcesOfOneTitleShareOneEmbedding) {
    embedder_->hold = true;
    request("T", "S1");
    request("T", "S2");
    run();
    ASSERT_EQ(embedder_->texts.size(), 1u);
    embedder_->held.front()(vectorOf(0.75));
    embedder_->held.pop_front();
    run();
    ASSERT_EQ(store_->writes.size(), 2u);
    EXPECT_EQ(store_->writes[0].sourceID, "S2");  // the waiter is settled first
    EXPECT_EQ(store_->writes[1].sourceID, "S1");
    EXPECT_EQ(store_->writes[0].first, 0.75);
    EXPECT_EQ(uploader_->stats(), (TitleVectorUploader::Stats{2, 2, 1}));
    EXPECT_EQ(done_, 2);
}

TEST_F(TitleVectorUploaderTest, NothingHappensWhenSwitchedOffSignedOutOrGated) {
    embedder_->on = false;
    request("A");
    run();
    embedder_->on = true;
    session_->setUser(std::nullopt);
    request("B");
    run();
    session_->setUser("user-1");
    uploader_->request("C", "S", [this] { ++done_; });
    session_->setUser("user-2");  // the account changed before the work started
    run();
    session_->setUser("user-1");
    EXPECT_TRUE(store_->checks.empty());
    EXPECT_TRUE(log_.messages("title_vec").empty());

    uploader_->setBackgroundAllowed([] { return false; });
    request("D");
    run();
    EXPECT_TRUE(store_->checks.empty());
    EXPECT_EQ(log_.messages("title_vec"), std::vector<std::string>{"건너뜀 reason=server_gate"});
    EXPECT_EQ(done_, 4);
}

TEST_F(TitleVectorUploaderTest, AFailedWriteKeepsTheVectorForTheNextRequest) {
    store_->upsertAnswer = false;
    request("T", "S1");
    run();
    EXPECT_EQ(embedder_->texts.size(), 1u);
    EXPECT_FALSE(uploader_->cache().isStored("T"));
    store_->upsertAnswer = true;
    request("T", "S2");
    run();
    EXPECT_EQ(embedder_->texts.size(), 1u);  // not embedded again
    EXPECT_EQ(store_->writes.size(), 2u);
    EXPECT_EQ(uploader_->stats(), (TitleVectorUploader::Stats{2, 1, 1}));
}

TEST_F(TitleVectorUploaderTest, AFailedEmbeddingBlocksTheTitleForTenSeconds) {
    embedder_->answer = fail(CallFailure::timeout());
    request("T", "S1");
    run();
    EXPECT_EQ(log_.messages("title_vec"),
              std::vector<std::string>{"임베딩 없음 — 이번 제목은 정렬 없이 간다"});
    request("T", "S2");
    run();
    EXPECT_EQ(embedder_->texts.size(), 1u);
    clock_->advance(10);
    embedder_->answer = vectorOf(1);
    request("T", "S3");
    run();
    EXPECT_EQ(embedder_->texts.size(), 2u);
    EXPECT_EQ(store_->writes.size(), 1u);
}

TEST_F(TitleVectorUploaderTest, EmbeddingsAreCappedPerAccountSession) {
    embedder_->answer = fail(CallFailure::unavailable());  // every title stays un-stored
    for (int i = 0; i < 201; ++i) {
        request("T" + std::to_string(i));
        run();
    }
    EXPECT_EQ(embedder_->texts.size(), 200u);
    request("T201");
    run();
    EXPECT_EQ(embedder_->texts.size(), 200u);
    auto lines = log_.messages("title_vec");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "세션 상한 200 도달 — 더 만들지 않음"), 1);
    EXPECT_EQ(uploader_->stats().embed, 200);

    uploader_->reset();
    run();
    request("T200");
    run();
    EXPECT_EQ(embedder_->texts.size(), 201u);
    EXPECT_EQ(uploader_->stats().embed, 201);  // statistics survive the reset
}

TEST_F(TitleVectorUploaderTest, ResetDuringTheEmbeddingDropsItsResult) {
    embedder_->hold = true;
    request("T", "S");
    run();
    ASSERT_EQ(embedder_->held.size(), 1u);
    uploader_->reset();
    run();
    embedder_->held.front()(vectorOf(1));
    embedder_->held.pop_front();
    run();
    EXPECT_TRUE(store_->writes.empty());
    EXPECT_TRUE(log_.messages("title_vec").empty());
    EXPECT_EQ(uploader_->cache().begin("T"), 1);  // nothing recorded under the new revision
    EXPECT_EQ(uploader_->stats(), (TitleVectorUploader::Stats{0, 0, 1}));
    EXPECT_EQ(done_, 1);
}

TEST_F(TitleVectorUploaderTest, ResetDuringThePresenceCheckStopsTheUpload) {
    store_->holdPresence = true;
    request("T", "S");
    run();
    uploader_->reset();
    run();
    store_->heldPresence.front()(TitleVectorPresence::absent);
    store_->heldPresence.pop_front();
    run();
    EXPECT_EQ(log_.messages("title_vec"),
              std::vector<std::string>{"건너뜀 reason=account_changed"});
    EXPECT_TRUE(embedder_->texts.empty());
}

TEST_F(TitleVectorUploaderTest, RequestsQueuedForAGoneUploaderStillFinish) {
    request("T", "S");
    uploader_.reset();
    run();
    EXPECT_EQ(done_, 1);
    EXPECT_TRUE(store_->checks.empty());
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

TEST(TitleVectorUploaderQueue, WorksOnTheSharedSerialQueue) {
    auto store = std::make_shared<ScriptedStore>();
    auto embedder = std::make_shared<ScriptedEmbedder>();
    auto uploader =
        TitleVectorUploader::make(store, embedder, std::make_shared<testing::FakeSession>());
    std::promise<void> finished;
    uploader->request("Title", "SRC", [&] { finished.set_value(); });
    ASSERT_EQ(finished.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    // The counts were queued before `done`, so a synchronous read sees them.
    EXPECT_EQ(uploader->statsLine(), "stats prewarm=0 upload=1 upload_ok=1 embed=1");
}

}  // namespace
}  // namespace parlendo
