#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "saving/ServerStudyRecorder.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;

const std::string table = "/rest/v1/reviews";

std::string opID(int n) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08d-0000-4000-8000-000000000000", n);
    return buffer;
}

Json reviewRow(int n, const std::string& word = "word-7", bool known = true) {
    return Json{
        {"review_id", opID(n)}, {"user_id", "user-1"}, {"word_id", word}, {"is_known", known}};
}

std::string rows(const std::vector<Json>& list) {
    return Json(list).dump();
}

class ServerStudyRecorderTest : public ::testing::Test {
  protected:
    ServerStudyRecorderTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          clock_(std::make_shared<FakeClock>()) {
        recorder_ = ServerStudyRecorder::make(
            server_, session_, [this] { return opID(++made_); }, clock_);
    }

    StudySave review(std::optional<bool> known = true, std::string word = "word-7") {
        std::optional<StudySave> out;
        recorder_->saveReview(known, std::move(word), [&](StudySave s) { out = std::move(s); });
        EXPECT_TRUE(out);
        return out.value_or(StudySave{});
    }
    std::optional<StudySave> status(const std::string& id) {
        std::optional<StudySave> out;
        bool done = false;
        recorder_->status(id, [&](std::optional<StudySave> s) {
            out = std::move(s);
            done = true;
        });
        EXPECT_TRUE(done);
        return out;
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ServerStudyRecorder> recorder_;
    int made_ = 0;
};

TEST_F(ServerStudyRecorderTest, BadInputAndAMissingUserNeverReachTheServer) {
    auto noKnown = review(std::nullopt);
    EXPECT_EQ(noKnown.state, StudySaveState::failedTerminal);
    EXPECT_EQ(noKnown.attemptCount, 0);
    EXPECT_EQ(noKnown.errorCode, "invalid_review_payload");
    EXPECT_EQ(review(true, "").errorCode, "invalid_review_payload");
    EXPECT_EQ(log_.messages("study").front(),
              "save_review 거절 id=00000001 reason=invalid_review_payload");

    session_->setUser(std::nullopt);
    auto signedOut = review();
    EXPECT_EQ(signedOut.errorCode, "request_authentication");
    EXPECT_TRUE(signedOut.authRequired);
    EXPECT_EQ(signedOut.state, StudySaveState::failedTerminal);
    EXPECT_TRUE(server_->calls().empty());
    EXPECT_FALSE(status(signedOut.operationID));
}

TEST_F(ServerStudyRecorderTest, AnInsertAnsweredWithTheSameRowIsConfirmed) {
    server_->ok("POST", table, rows({reviewRow(1)}));
    auto save = review();
    EXPECT_EQ(save.state, StudySaveState::confirmed);
    EXPECT_EQ(save.attemptCount, 1);
    EXPECT_FALSE(save.transportActive);
    EXPECT_EQ(save.evidence, reviewRow(1));
    EXPECT_EQ(server_->calls().size(), 1u);
    const auto call = server_->calls().front();
    EXPECT_EQ(call.path, "/rest/v1/reviews?select=review_id,user_id,word_id,is_known");
    EXPECT_EQ(call.json, reviewRow(1));
    EXPECT_EQ(call.headers.at("Prefer"), "return=representation");
    EXPECT_EQ(call.timeout, 8.0);
    EXPECT_EQ(log_.messages("study"),
              std::vector<std::string>{
                  "save_review id=00000001 state=confirmed attempt=1 path=insert code=- ms=0"});
}

TEST_F(ServerStudyRecorderTest, UnclearAnswersAreSettledByReadingBack) {
    // An empty answer, then a row found.
    server_->ok("POST", table, "[]");
    server_->ok("GET", table, rows({reviewRow(1)}));
    auto save = review();
    EXPECT_EQ(save.state, StudySaveState::confirmed);
    EXPECT_EQ(server_->calls()[1].path,
              "/rest/v1/reviews?select=review_id,user_id,word_id,is_known&user_id=eq.user-1"
              "&review_id=eq.00000001-0000-4000-8000-000000000000&limit=1");
    EXPECT_EQ(log_.messages("study").back(),
              "save_review id=00000001 state=confirmed attempt=1 path=insert+readback code=- ms=0");

    struct Case {
        CallFailure insert;
        CallResult readBack;
        StudySaveState state;
        std::string code;
    };
    const std::vector<Case> cases{
        {CallFailure::timeout(), rows({reviewRow(0, "word-8")}), StudySaveState::failedTerminal,
         "operation_conflict"},
        {testing::rejection(409, "23505"), rows({reviewRow(0, "word-7", false)}),
         StudySaveState::failedTerminal, "operation_conflict"},
        {testing::rejection(409, "23505"), CallResult("[]"), StudySaveState::commitUnknown,
         "transport_or_response_unknown"},
        {CallFailure::timeout(), fail(CallFailure::unavailable()), StudySaveState::commitUnknown,
         "readback_unavailable"},
        {CallFailure::quota(), CallResult("[]"), StudySaveState::commitUnknown,
         "transport_or_response_unknown"},
        {CallFailure::rejected(500), CallResult("[]"), StudySaveState::failedTerminal,
         "contract_or_permission_rejected"},
        {testing::rejection(404, "PGRST202"), CallResult("[]"), StudySaveState::failedTerminal,
         "server_contract_unavailable"},
        {CallFailure::authRequired(), CallResult("[]"), StudySaveState::failedTerminal,
         "request_authentication"},
    };
    for (const auto& c : cases) {
        server_ = std::make_shared<FakeServerCalling>();
        recorder_ = ServerStudyRecorder::make(
            server_, session_, [this] { return opID(++made_); }, clock_);
        server_->failure("POST", table, c.insert);
        auto readBack = c.readBack;
        if (readBack) {
            // The conflicting rows carry this operation's id.
            auto parsed = json::parse(*readBack);
            for (auto& row : *parsed) {
                row["review_id"] = opID(made_ + 1);
            }
            readBack = parsed->dump();
        }
        server_->script("GET", table, readBack);
        auto result = review();
        EXPECT_EQ(result.state, c.state) << c.insert.logReason();
        EXPECT_EQ(result.errorCode, c.code) << c.insert.logReason();
        EXPECT_EQ(result.attemptCount, 1);
    }
}

TEST_F(ServerStudyRecorderTest, AStaleAnswerIsUnknownAndMarkedStale) {
    server_->failure("POST", table, CallFailure::stale());
    auto save = review();
    EXPECT_EQ(save.state, StudySaveState::commitUnknown);
    EXPECT_TRUE(save.stale);
    EXPECT_EQ(server_->calls().size(), 1u);
}

TEST_F(ServerStudyRecorderTest, StatusReadsBackAndResendsUnderTheSameId) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    auto first = review();
    ASSERT_EQ(first.state, StudySaveState::commitUnknown);
    EXPECT_EQ(first.errorCode, "readback_unavailable");

    // The server still lacks the row: the same row goes again as attempt 2.
    server_ = std::make_shared<FakeServerCalling>();
    auto fresh = ServerStudyRecorder::make(
        server_, session_, [this] { return opID(++made_); }, clock_);
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("POST", table, rows({reviewRow(2)}));
    server_->ok("GET", table, "[]");
    recorder_ = fresh;
    auto unknown = review();
    ASSERT_EQ(unknown.errorCode, "transport_or_response_unknown");
    auto again = status(unknown.operationID);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->state, StudySaveState::confirmed);
    EXPECT_EQ(again->attemptCount, 2);
    EXPECT_EQ(server_->calls().back().json, reviewRow(2));
    EXPECT_TRUE(
        log_.contains("study", "save_status id=00000002 서버에 없음 → 같은 id 로 다시 보냄"));

    // A settled save is returned as it is, without a request.
    const size_t before = server_->calls().size();
    EXPECT_EQ(status(unknown.operationID), again);
    EXPECT_EQ(server_->calls().size(), before);
}

TEST_F(ServerStudyRecorderTest, StatusAnswersOnlyTheOwnersKnownOperations) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    auto save = review();
    EXPECT_FALSE(status("unknown-id"));
    session_->setUser("user-2");
    EXPECT_FALSE(status(save.operationID));
    session_->setUser(std::nullopt);
    EXPECT_FALSE(status(save.operationID));
    session_->setUser("user-1");
    auto failed = status(save.operationID);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->errorCode, "readback_unavailable");
    EXPECT_TRUE(log_.contains("study",
                              "save_status id=00000001 → commit_unknown "
                              "path=readback_failed ms=0"));
}

TEST_F(ServerStudyRecorderTest, OneReadBackAtATimePerOperation) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("GET", table, "[]");
    server_->ok("GET", table, rows({reviewRow(1)}));
    auto save = review();
    ASSERT_EQ(save.state, StudySaveState::commitUnknown);

    server_->hold(true);
    std::optional<StudySave> first;
    recorder_->status(save.operationID, [&](std::optional<StudySave> s) { first = s; });
    // While that read-back runs, a second question and a reconcile start nothing.
    auto second = status(save.operationID);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->transportActive);
    bool reconciled = false;
    recorder_->reconcileUnknown([&](ServerStudyRecorder::Reconciled r) {
        EXPECT_EQ(r, (ServerStudyRecorder::Reconciled{0, 0}));
        reconciled = true;
    });
    EXPECT_TRUE(reconciled);
    EXPECT_EQ(server_->heldCount(), 1u);
    clock_->advance(0.25);
    EXPECT_TRUE(server_->releaseNext());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->state, StudySaveState::confirmed);
    EXPECT_EQ(server_->count("GET"), 2u);
    EXPECT_EQ(log_.messages("study").back(),
              "save_status id=00000001 → confirmed path=readback ms=250");
}

TEST_F(ServerStudyRecorderTest, ConcurrentQuestionsStartOneReadBack) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->ok("GET", table, "[]");
    server_->ok("GET", table, rows({reviewRow(1)}));
    const auto save = review();
    server_->hold(true);
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            recorder_->status(save.operationID, [&](std::optional<StudySave>) { ++answered; });
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(server_->heldCount(), 1u);
    EXPECT_EQ(answered.load(), 7);
    server_->releaseNext();
    EXPECT_EQ(answered.load(), 8);
}

TEST_F(ServerStudyRecorderTest, ReconcileRechecksTheUsersUnknownSavesOldestFirst) {
    server_->failure("POST", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    server_->failure("GET", table, CallFailure::timeout());
    server_->ok("GET", table, rows({reviewRow(1)}));
    server_->failure("GET", table, CallFailure::timeout());
    review();
    review();
    std::optional<ServerStudyRecorder::Reconciled> result;
    recorder_->reconcileUnknown([&](ServerStudyRecorder::Reconciled r) { result = r; });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (ServerStudyRecorder::Reconciled{2, 1}));
    EXPECT_EQ(status(opID(1))->state, StudySaveState::confirmed);
    EXPECT_EQ(log_.messages("study").back(), "미확인 저장 다시 확인 checked=2 confirmed=1");

    // Another user's unknown saves are not checked.
    session_->setUser("user-2");
    recorder_->reconcileUnknown([&](ServerStudyRecorder::Reconciled r) { result = r; });
    EXPECT_EQ(*result, (ServerStudyRecorder::Reconciled{0, 0}));
}

TEST_F(ServerStudyRecorderTest, AnAnswerAfterAResetFindsItsRecordGone) {
    server_->hold(true);
    server_->ok("POST", table, rows({reviewRow(1)}));
    std::optional<StudySave> save;
    recorder_->saveReview(true, "word-7", [&](StudySave s) { save = s; });
    recorder_->reset();
    server_->releaseNext();
    ASSERT_TRUE(save);
    EXPECT_EQ(save->state, StudySaveState::failedTerminal);
    EXPECT_EQ(save->attemptCount, 0);
    EXPECT_EQ(save->errorCode, "transport_or_response_unknown");
    EXPECT_FALSE(status(opID(1)));
}

TEST_F(ServerStudyRecorderTest, TrimmingDropsTheOldestSettledRecordsOnly) {
    // The first review's answer is lost; every later one is echoed back.
    server_->respondWith([](const FakeServerCalling::Call& call) -> CallResult {
        if (call.method == "GET") {
            return std::string("[]");
        }
        if (json::string(*call.json, "review_id") == opID(1)) {
            return fail(CallFailure::timeout());
        }
        return Json::array({*call.json}).dump();
    });
    ASSERT_EQ(review().state, StudySaveState::commitUnknown);
    for (int i = 2; i <= 2000; ++i) {
        ASSERT_EQ(review().state, StudySaveState::confirmed);
    }
    EXPECT_TRUE(status(opID(2)));
    review();
    EXPECT_FALSE(status(opID(2)));
    EXPECT_TRUE(status(opID(3)));
    EXPECT_TRUE(status(opID(1)));
}

TEST(StudyRecorderMatchTest, ComparesStringsAndBooleansStrictly) {
    const Json sent{{"review_id", "r"}, {"user_id", "u"}, {"word_id", "w"}, {"is_known", true}};
    EXPECT_TRUE(ServerStudyRecorder::matches(sent, sent));
    Json extra = sent;
    extra["created_at"] = "now";
    EXPECT_TRUE(ServerStudyRecorder::matches(extra, sent));
    Json number = sent;
    number["is_known"] = 1;
    EXPECT_FALSE(ServerStudyRecorder::matches(number, sent));
    Json missingWord = sent;
    missingWord.erase("word_id");
    EXPECT_FALSE(ServerStudyRecorder::matches(missingWord, sent));
    Json bothMissing = missingWord;
    EXPECT_TRUE(ServerStudyRecorder::matches(missingWord, bothMissing));
    Json otherWord = sent;
    otherWord["word_id"] = "x";
    EXPECT_FALSE(ServerStudyRecorder::matches(otherWord, sent));
}

}  // namespace
}  // namespace parlendo
