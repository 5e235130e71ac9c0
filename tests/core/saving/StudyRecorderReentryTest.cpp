#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "saving/ServerStudyRecorder.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;

const std::string table = "/rest/v1/reviews";

std::string opID(int n) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08d-0000-4000-8000-000000000000", n);
    return buffer;
}

// Runs `work` on its own thread and tells whether it returned in time. A thread stuck on the
// recorder's lock is left behind, so the test reports a failure instead of hanging.
bool finishesInTime(std::function<void()> work) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([work = std::move(work), done] {
        work();
        done->set_value();
    }).detach();
    return finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

// Completions of the recorder may call it again: none of them runs under its lock.
class StudyRecorderReentryTest : public ::testing::Test {
  protected:
    StudyRecorderReentryTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>()),
          recorder_(ServerStudyRecorder::make(
              server_, session_, [this] { return opID(++made_); },
              std::make_shared<testing::FakeClock>())) {}

    // Three saves whose insert and read-back both went unanswered.
    void threeUnknownSaves() {
        server_->failure("POST", table, CallFailure::timeout());
        server_->failure("GET", table, CallFailure::timeout());
        for (int i = 0; i < 3; ++i) {
            recorder_->saveReview(true, "word-7", [](StudySave save) {
                EXPECT_EQ(save.state, StudySaveState::commitUnknown);
            });
        }
    }

    testing::LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ServerStudyRecorder> recorder_;
    int made_ = 0;
};

TEST_F(StudyRecorderReentryTest, ReconcileGoesOnAfterTheRecordsWereClearedMeanwhile) {
    threeUnknownSaves();
    server_->hold(true);
    auto result = std::make_shared<std::optional<ServerStudyRecorder::Reconciled>>();
    recorder_->reconcileUnknown([result](ServerStudyRecorder::Reconciled r) { *result = r; });
    ASSERT_EQ(server_->heldCount(), 1u);
    // The account changes while the first read-back runs: the other two are gone when asked.
    recorder_->reset();
    auto server = server_;
    ASSERT_TRUE(finishesInTime([server] { server->releaseNext(); }));
    ASSERT_TRUE(*result);
    EXPECT_EQ(**result, (ServerStudyRecorder::Reconciled{3, 0}));
}

TEST_F(StudyRecorderReentryTest, AnImmediateStatusAnswerMayAskAgain) {
    threeUnknownSaves();
    server_->hold(true);
    recorder_->status(opID(1), [](std::optional<StudySave>) {});
    auto recorder = recorder_;
    auto inner = std::make_shared<std::optional<StudySave>>();
    // The first question is still reading back, so the second answers at once; its completion
    // asks about the same operation once more.
    ASSERT_TRUE(finishesInTime([recorder, inner] {
        recorder->status(opID(1), [recorder, inner](std::optional<StudySave>) {
            recorder->status(opID(1), [inner](std::optional<StudySave> save) { *inner = save; });
        });
    }));
    ASSERT_TRUE(*inner);
    EXPECT_TRUE((*inner)->transportActive);
    server_->releaseNext();
}

}  // namespace
}  // namespace parlendo
