#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "foundation/Text.h"
#include "foundation/WorkerQueue.h"
#include "saving/SaveRetry.h"
#include "saving/ServerSaveBackend.h"
#include "saving/ServerSentenceSaver.h"
#include "saving/SourceResolver.h"
#include "saving/UnsavedCounter.h"
#include "saving/WordSaver.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace parlendo {
namespace {

using testing::FakeAuthAccess;
using testing::FakeSession;
using testing::LogCapture;
using testing::StubAnswer;
using testing::StubBackend;

// A word save and a sentence save over libcurl against the loopback backend, with the server's
// answers for a missing snapshot function, duplicate keys and a foreign-key failure scripted.
class SavingEndToEndTest : public ::testing::Test {
  protected:
    SavingEndToEndTest()
        : main_(std::make_shared<SerialQueue>("test.main")),
          auth_(std::make_shared<FakeAuthAccess>()),
          session_(std::make_shared<FakeSession>("user-1")) {
        auto curl = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        auto transport = std::make_shared<CurlServerTransport>(stub_.baseURL(), curl, std::nullopt,
                                                               "parlendo-mac/0.2.0");
        client_ = std::make_shared<ServerClient>(transport, auth_, "anon-key",
                                                 ServerClient::deliverOn(main_), true);
    }

    template <class T>
    static T await(std::future<T>& future) {
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }

    static std::string rejection(const std::string& code) {
        return Json{{"code", code}, {"message", "scripted"}, {"details", nullptr}}.dump();
    }

    LogCapture log_;
    StubBackend stub_;
    std::shared_ptr<SerialQueue> main_;
    std::shared_ptr<FakeAuthAccess> auth_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ServerClient> client_;
};

TEST_F(SavingEndToEndTest, AWordIsSavedOverTheLegacyPathWhenTheSnapshotFunctionIsMissing) {
    stub_.on("POST", "/rest/v1/rpc/save_word_snapshot_v1",
             StubAnswer::json(404, rejection("PGRST202")));
    stub_.on("POST", "/rest/v1/words", StubAnswer::json(201, R"([{"word_id":"w-1"}])"));
    stub_.on("POST", "/rest/v1/words", StubAnswer::json(409, rejection("23503")));
    stub_.on("POST", "/rest/v1/word_senses", StubAnswer::json(409, rejection("23505")));

    auto saver = WordSaver::make(std::make_shared<ServerSaveBackend>(client_, session_),
                                 SaveRetry::maxAttempts, SaveRetry::backoff, SerialQueue::timers());
    UnsavedCounter unsaved;
    std::promise<std::vector<WordSaver::Outcome>> done;
    auto finished = done.get_future();
    std::vector<WordSaver::Outcome> outcomes;
    saver->setOnOutcome([&](const WordSaver::Outcome& outcome) {
        outcomes.push_back(outcome);
        unsaved.note(outcome);
        if (outcomes.size() == 2) {
            done.set_value(outcomes);
        }
    });
    const std::vector<SaveWork::Sense> senses{{"달리다", "to run", "I run.", "verb"}};
    SaveWork run("AAAAAAAA-0000-4000-8000-000000000001", "SRC-1", "Run", "/rʌn/", "달리다", senses,
                 0);
    SaveWork walk("AAAAAAAA-0000-4000-8000-000000000002", "SRC-GONE", "Walk", std::nullopt,
                  std::nullopt, senses, 0);
    run.owner = walk.owner = "user-1";
    saver->enqueue(run);
    saver->enqueue(walk);
    const auto results = await(finished);

    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].path, "legacy");
    EXPECT_EQ(results[0].attempts, 1);
    EXPECT_TRUE(results[0].result);
    EXPECT_EQ(results[1].path, "legacy");
    EXPECT_EQ(results[1].result, fail(SaveVerdict::retry("legacy_failed")));
    EXPECT_FALSE(saver->rpcAvailable());
    EXPECT_EQ(unsaved.total(), 1);

    // One snapshot call, then only the two-request path; the duplicate sense rows are logged.
    ASSERT_TRUE(stub_.waitForRequests(4, 10));
    std::vector<std::string> targets;
    for (const auto& request : stub_.requests()) {
        targets.push_back(request.method + " " + request.path);
    }
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "POST /rest/v1/rpc/save_word_snapshot_v1"),
              1);
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "POST /rest/v1/words"), 2);
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "POST /rest/v1/word_senses"), 1);
    const auto words = stub_.requests();
    for (const auto& request : words) {
        if (request.path == "/rest/v1/word_senses") {
            EXPECT_EQ(json::parse(request.body), Json::array({Json{{"word_id", "w-1"},
                                                                   {"user_id", "user-1"},
                                                                   {"rank", 1},
                                                                   {"korean", "달리다"},
                                                                   {"definition", "to run"},
                                                                   {"example", "I run."},
                                                                   {"pos", "verb"}}}));
            EXPECT_EQ(request.header("Prefer"), "resolution=ignore-duplicates");
        }
    }
    Log::flush();
    EXPECT_TRUE(log_.contains("save", "save_word_snapshot_v1 없음(PGRST202)"));
    EXPECT_TRUE(log_.contains("save", "단어 실패 " + Log::redact("walk") + " rejected_409_23503"));
    for (int i = 0; i < 100 && !log_.contains("save", "뜻 저장 실패"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(log_.contains("save", "뜻 저장 실패 rejected_409_23505"));
}

TEST_F(SavingEndToEndTest, ASentenceDuplicateIsConfirmedByReadBackAndAMissingSourceIsRejected) {
    const std::string id = "BBBBBBBB-0000-4000-8000-000000000001";
    stub_.on("POST", "/rest/v1/sentences", StubAnswer::json(409, rejection("23505")));
    stub_.on("POST", "/rest/v1/sentences", StubAnswer::json(409, rejection("23503")));
    stub_.on("GET", "/rest/v1/sentences",
             StubAnswer::json(200, Json::array({Json{{"sentence_id", text::asciiLower(id)},
                                                     {"source_id", "src-1"},
                                                     {"original", "It rained all day."}}})
                                       .dump()));
    auto saver = ServerSentenceSaver::make(client_, session_, SaveRetry::maxAttempts,
                                           SaveRetry::backoff, SerialQueue::timers());
    auto save = [&](SentenceWork work) {
        std::promise<SentenceSaveOutcome> done;
        auto finished = done.get_future();
        saver->save(std::move(work),
                    [&](SentenceSaveOutcome outcome) { done.set_value(std::move(outcome)); });
        return await(finished);
    };

    EXPECT_EQ(save({id, "SRC-1", "It rained all day.", "하루 종일 비가 왔다."}),
              SentenceSaveOutcome::confirmed(1));
    const auto readBack = stub_.lastRequest();
    EXPECT_EQ(readBack.method, "GET");
    EXPECT_EQ(readBack.query,
              "select=sentence_id,source_id,original&limit=1&user_id=eq.user-1"
              "&sentence_id=eq." +
                  text::asciiLower(id));

    const auto missing =
        save({"BBBBBBBB-0000-4000-8000-000000000002", "SRC-GONE", "Hello.", "안녕."});
    EXPECT_EQ(missing, SentenceSaveOutcome::rejected("23503"));
    auto resolver = SourceResolver::make(nullptr);
    EXPECT_TRUE(resolver->noteSentenceOutcome(missing, "SRC-GONE"));
    EXPECT_EQ(saver->pending(), 0);
    EXPECT_EQ(stub_.requestCount(), 3u);
}

}  // namespace
}  // namespace parlendo
