#include "LogCapture.h"
#include "PipelineRig.h"
#include "TempDir.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::FakeSaveBackend;
using testing::FakeTranslator;
using testing::FakeWordLookup;
using testing::ManualExecutor;
using testing::PipelineRig;

// One run of the program's capture road over fakes, with a journal over the test's state folder
// and the word counting of the capture module.
struct CaptureRun : PipelineRig {
    CaptureRun(const fs::path& root, std::shared_ptr<ManualExecutor> writer)
        : PipelineRig(SaveJournal::make(root, writer)), writer(std::move(writer)) {
        settings->setCurrent({setting("단어", {"korean"}), setting("문장", {"translation"})});
        words->setOnOutcome(
            [previous = words->onOutcome(), unsaved = unsaved](const WordSaver::Outcome& outcome) {
                previous(outcome);
                unsaved->note(outcome);
            });
    }
    // What the account scope tells the pipeline (and the clearer of the unsaved count).
    void signIn(const std::optional<std::string>& user) {
        session->setUser(user);
        unsaved->reset();
        pipeline->followAccount(user);
    }
    // Lets the journal and the main executor do what they have to.
    void turn() {
        for (int i = 0; i < 4; ++i) {
            main->runAll();
            writer->runAll();
        }
    }
    CapturePipeline::Started word(const std::string& text, const std::string& lemma) {
        auto started = capture(text);
        lookup->answer(FakeWordLookup::found(text, {{"뜻", "a meaning"}}, lemma));
        main->runAll();
        return started;
    }
    CapturePipeline::Started sentence(const std::string& text) {
        auto started = capture(text);
        translator->answer(FakeTranslator::korean(text, "번역"));
        main->runAll();
        return started;
    }
    // The title key every capture of this rig has (one window, one title).
    std::optional<std::string> titleKey() const { return key(snapshot("x")); }
    std::shared_ptr<ManualExecutor> writer;
};

struct CaptureSaveJournalTest : ::testing::Test {
    std::unique_ptr<CaptureRun> start(std::optional<std::string> user = "user-1") {
        auto run = std::make_unique<CaptureRun>(root.path(), writer);
        run->session->setUser(std::move(user));
        return run;
    }
    // What the journal of the account holds on disk.
    size_t journaled(const std::string& owner = "user-1") const {
        auto bytes = fileio::readFile(SaveJournal::make(root.path(), writer)->fileOf(owner));
        auto file = bytes ? json::parse(*bytes) : std::nullopt;
        const Json* saves = file ? json::array(*file, "saves") : nullptr;
        return saves ? saves->size() : 0;
    }
    testing::TempDir root;
    std::shared_ptr<ManualExecutor> writer = std::make_shared<ManualExecutor>();
    testing::LogCapture log;
};

TEST_F(CaptureSaveJournalTest, SavesAKilledRunHeldAreSentAgainByTheNextRun) {
    std::vector<SaveWork> words;
    std::vector<SentenceWork> sentences;
    {
        auto run = start();
        run->signIn("user-1");
        run->backend->hold = true;
        // A word is in the journal before its source is looked for; the hand-off lasts until it
        // is queued, so a quit waits for it.
        run->word("Cats", "cat");
        EXPECT_TRUE(run->sources->snapshots.empty());
        EXPECT_EQ(run->pipeline->pending(), 1);
        run->turn();
        EXPECT_EQ(journaled(), 1u);
        EXPECT_EQ(run->pipeline->pending(), 0);
        EXPECT_TRUE(run->completed);
        run->word("Dogs", "dog");
        run->sentence("The cat sat on the mat.");
        run->turn();
        ASSERT_EQ(run->backend->works().size(), 1u);  // the second word waits in the queue
        ASSERT_EQ(run->sentences->works().size(), 1u);
        EXPECT_EQ(journaled(), 3u);
        words.push_back(run->backend->works()[0]);
        sentences = run->sentences->works();
        // The first word is saved; the rest is still on its way when the process is killed.
        run->backend->release(std::string(FakeSaveBackend::stored));
        run->turn();
        ASSERT_EQ(run->backend->works().size(), 2u);
        words.push_back(run->backend->works()[1]);
        run->sentences->dropAll("the program was killed");
    }

    auto next = start();
    next->sentences->reply = SentenceSaveOutcome::rejected("23503");
    next->backend->hold = true;
    next->signIn("user-1");
    next->turn();
    EXPECT_TRUE(log.has("save", "지난 실행에서 끝나지 않은 저장 2건 — 다시 보냄"));
    // Until the server confirms them, both count as unsaved.
    EXPECT_EQ(next->unsaved->total(), 2);
    // The same saves, as they were: the word with its id, lemma and time, the sentence with its
    // id, each under the source found again.
    EXPECT_EQ(next->backend->works(), std::vector<SaveWork>{words[1]});
    EXPECT_EQ(next->sentences->works(), sentences);
    next->backend->release(std::string(FakeSaveBackend::stored));
    next->turn();
    // The saved word asks for its title vector as a live one does; the refused sentence stays
    // counted, and both leave the journal.
    ASSERT_EQ(next->outcomes.size(), 1u);
    EXPECT_TRUE(next->outcomes[0].result);
    EXPECT_EQ(next->unsaved->total(), 1);
    EXPECT_EQ(next->titleVectors->requests(), (std::vector<testing::FakeTitleVectors::Request>{
                                                  {next->titleKey(), std::string("source-1")}}));
    EXPECT_EQ(journaled(), 0u);

    auto third = start();
    third->signIn("user-1");
    third->turn();
    EXPECT_TRUE(third->backend->works().empty());
    EXPECT_EQ(log.count("save", "다시 보냄"), 1u);
}

TEST_F(CaptureSaveJournalTest, AKillWhileTheSourceIsLookedForLosesNothing) {
    {
        auto run = start();
        run->signIn("user-1");
        run->sources->hold = true;
        run->word("Cats", "cat");
        run->sentence("The cat sat on the mat.");
        run->turn();
        EXPECT_EQ(run->sources->calls(), 2u);
        EXPECT_EQ(journaled(), 2u);
        run->sources->dropAll("the program was killed");
    }
    auto next = start();
    next->backend->hold = true;
    next->sentences->reply = SentenceSaveOutcome::confirmed(1);
    next->signIn("user-1");
    next->turn();
    // The source is found first, from where the capture was made.
    ASSERT_EQ(next->sources->calls(), 2u);
    EXPECT_EQ(PipelineRig::key(next->sources->snapshots[0]), next->titleKey());
    EXPECT_EQ(next->sources->snapshots[0].sourceURL(), std::nullopt);
    ASSERT_EQ(next->backend->works().size(), 1u);
    EXPECT_EQ(next->backend->works()[0].lemma, "cat");
    EXPECT_EQ(next->backend->works()[0].sourceID, "source-1");
    EXPECT_EQ(next->sentences->works().at(0).sourceID, "source-1");
    EXPECT_EQ(next->unsaved->total(), 1);  // the word, until the server confirms it
    next->backend->release(std::string(FakeSaveBackend::stored));
    next->turn();
    EXPECT_EQ(next->unsaved->total(), 0);
    EXPECT_EQ(next->titleVectors->requests().size(), 2u);
    EXPECT_EQ(journaled(), 0u);
}

TEST_F(CaptureSaveJournalTest, ASaveGivenUpStaysUnsavedAndGoesOutAgainAtTheNextStart) {
    {
        auto run = start();
        run->signIn("user-1");
        run->backend->reply = parlendo::fail(CallFailure::timeout());
        run->sentences->reply = SentenceSaveOutcome::unknown(3);
        run->sources->script = {std::nullopt, std::nullopt, std::nullopt};
        // No source for the first capture, an outage for the next two.
        run->sentence("The dog sat on the log.");
        run->turn();
        run->clock->advance(0.5);
        run->turn();
        run->clock->advance(1.3);
        run->turn();
        run->word("Cats", "cat");
        run->sentence("The cat sat on the mat.");
        run->turn();
        run->clock->advance(1.6);
        run->turn();
        run->clock->advance(2.1);
        run->turn();
        ASSERT_EQ(run->outcomes.size(), 1u);
        EXPECT_EQ(run->unsaved->total(), 3);
        EXPECT_EQ(journaled(), 3u);
        EXPECT_EQ(log.count("save", "저장 대기 기록에 남김 — 다음 시작에 보냄"), 3u);

        // Signing in again in this run counts them again, and sends none of them twice.
        run->signIn(std::nullopt);
        run->signIn("user-1");
        run->turn();
        EXPECT_EQ(run->unsaved->total(), 3);
        EXPECT_EQ(run->backend->works().size(), 3u);
        EXPECT_EQ(run->sentences->works().size(), 1u);
    }
    auto next = start();
    next->sentences->reply = SentenceSaveOutcome::confirmed(1);
    next->signIn("user-1");
    next->turn();
    EXPECT_TRUE(log.has("save", "지난 실행에서 끝나지 않은 저장 3건 — 다시 보냄"));
    EXPECT_EQ(next->backend->works().size(), 1u);
    EXPECT_EQ(next->sentences->works().size(), 2u);
    EXPECT_EQ(next->unsaved->total(), 0);
    EXPECT_EQ(journaled(), 0u);
}

TEST_F(CaptureSaveJournalTest, ADiskThatHangsHoldsNoSaveBack) {
    auto run = start();
    run->signIn("user-1");
    run->turn();
    // The journal's writer does not get to the capture's record.
    const auto started = run->word("Cats", "cat");
    EXPECT_TRUE(run->backend->works().empty());
    run->clock->advance(CapturePipeline::recordWait);
    run->main->runAll();
    ASSERT_EQ(run->backend->works().size(), 1u);
    EXPECT_EQ(
        log.startingWith("save", "🔴 저장 대기 기록이 끝나지 않음 — 기록 없이 보냄"),
        "🔴 저장 대기 기록이 끝나지 않음 — 기록 없이 보냄 work=" + started.snapshot.id.substr(0, 8));
    // The disk answers at last: the record and the save's outcome reach it in order, and the
    // save goes out once.
    run->turn();
    EXPECT_EQ(journaled(), 0u);
    EXPECT_EQ(run->backend->works().size(), 1u);
    EXPECT_EQ(run->outcomes.size(), 1u);
}

TEST_F(CaptureSaveJournalTest, ALostSessionKeepsTheJournalAndTheNextSignInSendsIt) {
    auto run = start();
    run->signIn("user-1");
    run->backend->hold = true;
    run->word("Cats", "cat");
    run->turn();
    run->sources->hold = true;
    run->sentence("The cat sat on the mat.");
    run->turn();
    // The server refuses the refresh: the session is lost, the account still owns the captures.
    run->signIn(std::nullopt);
    run->backend->release(parlendo::fail(CallFailure::authRequired()));
    run->sources->answer(SourceRow{"source-1", "notes", std::nullopt});
    run->turn();
    EXPECT_TRUE(log.has("save", "저장 버림 — 출처를 정하는 사이 계정이 바뀜"));
    EXPECT_EQ(journaled(), 2u);
    EXPECT_EQ(run->unsaved->total(), 0);

    // Another account signs in first: the saves wait for their own.
    run->sources->hold = false;
    run->signIn("user-2");
    run->turn();
    EXPECT_EQ(run->backend->works().size(), 1u);
    EXPECT_TRUE(run->sentences->works().empty());

    // Handed back while the account is already gone again: they wait once more.
    run->session->setUser("user-1");
    run->pipeline->followAccount("user-1");
    run->session->setUser(std::nullopt);
    run->turn();
    EXPECT_EQ(run->backend->works().size(), 1u);

    run->backend->hold = false;
    run->sentences->reply = SentenceSaveOutcome::confirmed(1);
    run->signIn("user-1");
    run->turn();
    ASSERT_EQ(run->backend->works().size(), 2u);
    EXPECT_EQ(run->backend->works()[1].lemma, "cat");
    EXPECT_EQ(run->sentences->works().size(), 1u);
    EXPECT_EQ(run->unsaved->total(), 0);
    EXPECT_EQ(journaled(), 0u);
}

TEST_F(CaptureSaveJournalTest, AWordWhoseAccountChangedWaitsInItsJournalForThatAccount) {
    auto run = start();
    run->signIn("user-1");
    run->backend->reply = parlendo::fail(CallFailure::timeout());
    run->word("Cats", "cat");
    run->word("Dogs", "dog");
    run->turn();
    // The first word waits for its retry, the second behind it.
    ASSERT_EQ(run->backend->works().size(), 1u);
    EXPECT_EQ(journaled(), 2u);

    // A recovery link signs another account in meanwhile: neither word is sent with its login.
    run->backend->reply = std::string(FakeSaveBackend::stored);
    run->signIn("user-2");
    run->clock->advance(1.5);
    run->turn();
    EXPECT_EQ(run->backend->works().size(), 1u);
    ASSERT_EQ(run->outcomes.size(), 2u);
    EXPECT_EQ(run->unsaved->total(), 0);
    EXPECT_EQ(journaled("user-1"), 2u);
    EXPECT_EQ(journaled("user-2"), 0u);

    // Back in their own account, both go out with its login and leave its journal.
    run->signIn("user-1");
    run->turn();
    const auto works = run->backend->works();
    ASSERT_EQ(works.size(), 3u);
    EXPECT_EQ(works[1].lemma, "cat");
    EXPECT_EQ(works[2].lemma, "dog");
    EXPECT_EQ(works[2].owner, "user-1");
    EXPECT_EQ(run->unsaved->total(), 0);
    EXPECT_EQ(journaled(), 0u);
}

}  // namespace
}  // namespace parlendo
