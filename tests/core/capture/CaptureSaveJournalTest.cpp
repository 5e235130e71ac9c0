#include "LogCapture.h"
#include "PipelineRig.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::FakeSaveBackend;
using testing::FakeTranslator;
using testing::FakeWordLookup;
using testing::ManualExecutor;
using testing::PipelineRig;

// One run of the program's capture road over fakes, with a journal over the test's state folder.
struct CaptureRun : PipelineRig {
    CaptureRun(const fs::path& root, std::shared_ptr<ManualExecutor> writer)
        : PipelineRig(SaveJournal::make(root, writer)), writer(std::move(writer)) {
        settings->setCurrent({setting("단어", {"korean"}), setting("문장", {"translation"})});
    }
    // What the account scope tells the pipeline.
    void followAccount(const std::optional<std::string>& user) { pipeline->followAccount(user); }
    // Lets the journal and the main executor do what they have to.
    void turn() {
        for (int i = 0; i < 3; ++i) {
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
    std::shared_ptr<ManualExecutor> writer;
};

struct CaptureSaveJournalTest : ::testing::Test {
    std::unique_ptr<CaptureRun> start(std::optional<std::string> user = "user-1") {
        auto run = std::make_unique<CaptureRun>(root.path(), writer);
        run->session->setUser(std::move(user));
        return run;
    }
    fs::path journalFile(const std::string& owner) const {
        return SaveJournal::make(root.path(), writer)->fileOf(owner);
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
        run->followAccount("user-1");
        run->backend->hold = true;
        // A word goes to the server only once the journal holds it; until then the hand-off is
        // still in progress, so a quit waits for it.
        run->word("Cats", "cat");
        EXPECT_TRUE(run->backend->works().empty());
        EXPECT_EQ(run->pipeline->pending(), 1);
        run->turn();
        EXPECT_EQ(run->pipeline->pending(), 0);
        EXPECT_TRUE(run->completed);
        run->word("Dogs", "dog");
        run->sentence("The cat sat on the mat.");
        run->turn();
        ASSERT_EQ(run->backend->works().size(), 1u);  // the second word waits in the queue
        ASSERT_EQ(run->sentences->works().size(), 1u);
        EXPECT_TRUE(fs::exists(journalFile("user-1")));
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
    next->followAccount("user-1");
    next->turn();
    EXPECT_TRUE(log.has("save", "지난 실행에서 끝나지 않은 저장 2건 — 다시 보냄"));
    // The same saves, as they were: the word with its id and lemma, the sentence with its id.
    EXPECT_EQ(next->backend->works(), std::vector<SaveWork>{words[1]});
    EXPECT_EQ(next->sentences->works(), sentences);
    // Their outcomes are told as today: the saved word asks for no title vector here, the
    // refused sentence counts as unsaved, and both leave the journal.
    ASSERT_EQ(next->outcomes.size(), 1u);
    EXPECT_TRUE(next->outcomes[0].result);
    ASSERT_EQ(next->sentenceOutcomes.size(), 1u);
    EXPECT_EQ(next->unsaved->total(), 1);
    EXPECT_TRUE(next->titleVectors->requests().empty());
    EXPECT_FALSE(fs::exists(journalFile("user-1")));

    // A third run has nothing left to send.
    auto third = start();
    third->followAccount("user-1");
    third->turn();
    EXPECT_TRUE(third->backend->works().empty());
    EXPECT_EQ(log.count("save", "다시 보냄"), 1u);
}

TEST_F(CaptureSaveJournalTest, LeftOverSavesWaitForTheirOwnAccount) {
    {
        auto run = start();
        run->backend->hold = true;
        run->word("Cats", "cat");
        run->turn();
    }
    // Another account signs in first, then out: the first account's journal stays.
    auto next = start("user-2");
    next->followAccount("user-2");
    next->turn();
    next->session->setUser(std::nullopt);
    next->followAccount(std::nullopt);
    next->turn();
    EXPECT_TRUE(next->backend->works().empty());
    EXPECT_TRUE(fs::exists(journalFile("user-1")));

    next->session->setUser("user-1");
    next->followAccount("user-1");
    next->turn();
    ASSERT_EQ(next->backend->works().size(), 1u);
    EXPECT_EQ(next->backend->works()[0].lemma, "cat");
    EXPECT_FALSE(fs::exists(journalFile("user-1")));
}

}  // namespace
}  // namespace parlendo
