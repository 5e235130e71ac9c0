#include <gtest/gtest.h>

#include "LogCapture.h"
#include "saving/UnsavedCounter.h"

#include <thread>

namespace parlendo {
namespace {

using testing::LogCapture;

TEST(UnsavedCounterTest, CountsEveryKindInOneTotalAndResetsWithALogLine) {
    LogCapture log;
    UnsavedCounter counter;
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::source), 1);
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::source), 2);
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::word), 3);
    EXPECT_EQ(log.messages("save").back(), "저장 안 된 것 +1 kind=word total=3");
    counter.reset();
    EXPECT_EQ(counter.total(), 0);
    counter.reset();
    EXPECT_EQ(
        log.messages("save"),
        (std::vector<std::string>{
            "저장 안 된 것 +1 kind=source total=1", "저장 안 된 것 +1 kind=source total=2",
            "저장 안 된 것 +1 kind=word total=3", "저장 안 된 것 0 으로 — 계정이 바뀜 was=3"}));
    EXPECT_EQ(UnsavedCounter::fromString("sentence"), UnsavedCounter::Kind::sentence);
    EXPECT_FALSE(UnsavedCounter::fromString("Word"));
}

TEST(UnsavedCounterTest, MenuTitleAppearsFromOne) {
    EXPECT_FALSE(UnsavedCounter::menuTitle(0));
    EXPECT_FALSE(UnsavedCounter::menuTitle(-1));
    EXPECT_EQ(UnsavedCounter::menuTitle(1), "\u26A0\uFE0F 저장 안 된 것 1개");
    EXPECT_EQ(UnsavedCounter::menuTitle(12), "⚠️ 저장 안 된 것 12개");
}

TEST(UnsavedCounterTest, CountsFailuresButNotDropsOrSuccesses) {
    LogCapture log;
    UnsavedCounter counter;
    int n = 0;
    auto outcome = [&](Result<SaveReceipt, SaveVerdict> result) {
        SaveWork work("ID-" + std::to_string(++n), "SRC", "w", std::nullopt, std::nullopt, {}, 0);
        return WordSaver::Outcome{work, 1, std::move(result), "rpc"};
    };
    EXPECT_FALSE(counter.note(outcome(SaveReceipt{})));
    EXPECT_FALSE(counter.note(outcome(fail(SaveVerdict::drop("auth_required")))));
    EXPECT_FALSE(counter.note(outcome(fail(SaveVerdict::rpcMissing()))));
    EXPECT_TRUE(counter.note(outcome(fail(SaveVerdict::retry("legacy_failed")))));
    EXPECT_TRUE(counter.note(outcome(fail(SaveVerdict::terminal("bad_shape")))));

    EXPECT_FALSE(counter.note(SentenceSaveOutcome::confirmed(1)));
    EXPECT_FALSE(counter.note(SentenceSaveOutcome::dropped("account_changed")));
    EXPECT_TRUE(counter.note(SentenceSaveOutcome::rejected("23503")));
    EXPECT_TRUE(counter.note(SentenceSaveOutcome::lost(3)));
    EXPECT_TRUE(counter.note(SentenceSaveOutcome::unknown(3)));
    EXPECT_EQ(counter.total(), 5);
    EXPECT_EQ(log.messages("save").back(), "저장 안 된 것 +1 kind=sentence total=5");
}

TEST(UnsavedCounterTest, ACaptureCountsOnceUntilItReachesTheServerAfterAll) {
    LogCapture log;
    UnsavedCounter counter;
    // Left over from an earlier run, then given up again: still one.
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::word, "AAAAAAAA-1"), 1);
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::word, "AAAAAAAA-1"), 1);
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::sentence, "BBBBBBBB-2"), 2);
    EXPECT_EQ(counter.add(UnsavedCounter::Kind::source), 3);
    EXPECT_EQ(log.count("save", "+1"), 3u);

    EXPECT_TRUE(counter.settle("AAAAAAAA-1"));
    EXPECT_EQ(log.messages("save").back(),
              "저장 안 된 것 -1 — 다시 보내 저장됨 work=AAAAAAAA total=2");
    EXPECT_FALSE(counter.settle("AAAAAAAA-1"));
    EXPECT_FALSE(counter.settle("never-counted"));
    EXPECT_EQ(counter.total(), 2);
    counter.reset();
    EXPECT_FALSE(counter.settle("BBBBBBBB-2"));
    EXPECT_EQ(counter.total(), 0);
}

TEST(UnsavedCounterTest, AddsFromManyThreadsWithoutLosingOne) {
    LogCapture log;
    UnsavedCounter counter;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                counter.add(UnsavedCounter::Kind::word);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter.total(), 1000);
}

}  // namespace
}  // namespace parlendo
