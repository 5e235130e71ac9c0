#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/WorkerQueue.h"
#include "saving/SaveJournal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::ManualExecutor;
using testing::TempDir;

JournalEntry word(const std::string& id, const std::string& lemma = "Cat") {
    return JournalEntry{
        SaveWork(id, "", lemma, std::nullopt, "고양이",
                 {{"고양이", "a small animal", "", "noun"}, {"", "a pet", "My cat.", ""}},
                 1'700'000'000.25),
        JournalEntry::Origin{"org.gnome.TextEditor", "Notes — 편집기", "file:///home/u/notes.txt",
                             std::nullopt}};
}

JournalEntry sentence(const std::string& id) {
    return JournalEntry{
        SentenceWork{id, "", "The cat sat.", "고양이가 앉았다."},
        JournalEntry::Origin{"firefox", std::nullopt, std::nullopt, "https://example.org/cats"}};
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

std::vector<std::string> ids(const SaveJournal::Entries& entries) {
    std::vector<std::string> out;
    for (const auto& entry : entries) {
        out.push_back(entry.id());
    }
    return out;
}

// A journal under a temporary state root whose writer runs when the test says so. `restart()`
// starts a new run over the same files, as after a crash.
struct SaveJournalTest : ::testing::Test {
    // What a test left queued runs: a task holds the journal, which holds its writer.
    void TearDown() override { writer->runAll(); }

    void restart() {
        journal.reset();
        journal = SaveJournal::make(root.path(), writer);
    }

    void record(const std::string& owner, JournalEntry entry) {
        journal->record(owner, std::move(entry), [this] { ++sent; });
        writer->runAll();
    }

    SaveJournal::LeftOver leftOver(const std::string& owner) {
        SaveJournal::LeftOver out;
        journal->takeLeftOver(owner, [&](SaveJournal::LeftOver left) { out = std::move(left); });
        writer->runAll();
        return out;
    }

    Json file(const std::string& owner) const {
        auto bytes = fileio::readFile(journal->fileOf(owner));
        return bytes ? json::parse(*bytes).value_or(Json()) : Json();
    }

    TempDir root;
    std::shared_ptr<ManualExecutor> writer = std::make_shared<ManualExecutor>();
    std::shared_ptr<SaveJournal> journal = SaveJournal::make(root.path(), writer);
    LogCapture log;
    int sent = 0;
};

TEST_F(SaveJournalTest, ACaptureIsOnDiskBeforeAnythingOfItGoesOutAndLeavesWithItsOutcome) {
    journal->record("user-1", word("W1"), [this] {
        EXPECT_EQ(file("user-1")["saves"].size(), 1u);
        ++sent;
    });
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));
    writer->runAll();
    EXPECT_EQ(sent, 1);
    record("user-1", sentence("S1"));

    const fs::path path = journal->fileOf("user-1");
    EXPECT_EQ(path.parent_path(), root.path() / "save_journal");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(path.parent_path()), 0700u);
    const Json kept = file("user-1");
    EXPECT_EQ(kept["owner"], "user-1");
    ASSERT_EQ(kept["saves"].size(), 2u);
    // Recorded before its source is known: where it was captured stands in for the source.
    EXPECT_EQ(kept["saves"][0]["origin"]["app"], "org.gnome.TextEditor");
    EXPECT_FALSE(kept["saves"][0].contains("source_id"));

    journal->settle("user-1", "W1");
    writer->runAll();
    ASSERT_EQ(file("user-1")["saves"].size(), 1u);
    EXPECT_EQ(file("user-1")["saves"][0]["id"], "S1");
    journal->settle("user-1", "OTHER");
    // An outcome told for another account leaves this one's journal as it is.
    journal->settle("user-2", "S1");
    writer->runAll();
    EXPECT_EQ(file("user-1")["saves"].size(), 1u);
    journal->settle("user-1", "S1");
    writer->runAll();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SaveJournalTest, WhatIsNotOnItsWayIsHandedBackOncePerRunToItsOwnAccount) {
    record("user-1", word("W1", "Serendipity"));
    record("user-2", word("W2"));
    record("user-1", sentence("S1"));
    record("user-1", word("W3"));
    // What this run sends itself is never handed back while it is on its way.
    EXPECT_TRUE(leftOver("user-1").send.empty());
    // Given up after its retries: it stays, unsaved, and is not sent twice in this run.
    journal->keep("user-1", "W1");
    // Dropped because the login was lost: handed back at the account's next session.
    journal->putBack("user-1", "S1");
    writer->runAll();
    EXPECT_TRUE(log.has("save", "저장 대기 기록에 남김 — 다음 시작에 보냄 work=W1"));
    auto left = leftOver("user-1");
    EXPECT_EQ(ids(left.send), std::vector<std::string>{"S1"});
    EXPECT_EQ(ids(left.kept), std::vector<std::string>{"W1"});
    EXPECT_TRUE(leftOver("user-1").send.empty());

    // The next start hands everything back, as it was captured.
    restart();
    left = leftOver("user-1");
    ASSERT_EQ(ids(left.send), (std::vector<std::string>{"W1", "S1", "W3"}));
    EXPECT_EQ(left.send[0], word("W1", "Serendipity"));
    EXPECT_EQ(left.send[1], sentence("S1"));
    EXPECT_TRUE(left.kept.empty());
    EXPECT_TRUE(leftOver("user-1").send.empty());
    EXPECT_EQ(ids(leftOver("user-2").send), std::vector<std::string>{"W2"});
}

TEST_F(SaveJournalTest, AnEarlierVersionsFileWithResolvedSourcesIsStillRead) {
    const Json old{{"owner", "user-1"},
                   {"saves", Json::array({Json{{"kind", "word"},
                                               {"id", "W0"},
                                               {"source_id", "SOURCE-1"},
                                               {"lemma", "Cat"},
                                               {"phonetic", nullptr},
                                               {"korean", "고양이"},
                                               {"senses", Json::array()},
                                               {"created_at", 1.5}},
                                          Json{{"kind", "sentence"},
                                               {"id", "S0"},
                                               {"source_id", "SOURCE-2"},
                                               {"original", "The cat sat."},
                                               {"korean", "고양이가 앉았다."}}})}};
    root.write("save_journal/" + journal->fileOf("user-1").filename().string(), old.dump());
    const auto left = leftOver("user-1").send;
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].sourceID(), "SOURCE-1");
    EXPECT_FALSE(left[0].origin);
    EXPECT_EQ(std::get<SentenceWork>(left[1].save),
              (SentenceWork{"S0", "SOURCE-2", "The cat sat.", "고양이가 앉았다."}));
}

TEST_F(SaveJournalTest, OnlyTheUsersOwnSignOutAndTheAccountsDeletionClearIt) {
    record("user-1", word("W1"));
    record("user-2", word("W2"));
    // Debris of a write killed half-way and of an earlier unreadable file.
    const std::string name = journal->fileOf("user-1").filename().string();
    root.write("save_journal/" + name + ".tmp-99-0", "{\"owner\"");
    root.write("save_journal/" + name + ".unreadable", "torn");

    journal->signedOut("user-1");
    writer->runAll();
    EXPECT_TRUE(log.has("save", "로그아웃 — 저장 대기 기록 지움"));
    for (const auto& entry : fs::directory_iterator(root.path() / "save_journal")) {
        EXPECT_NE(entry.path().filename().string().rfind(name, 0), 0u) << entry.path();
    }
    EXPECT_TRUE(fs::exists(journal->fileOf("user-2")));
    // The outcome of a save that was on its way writes nothing back.
    journal->settle("user-1", "W1");
    journal->keep("user-1", "W1");
    writer->runAll();
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));
    EXPECT_TRUE(leftOver("user-1").send.empty());

    // The account's deletion: the journal goes at once, also one never read in this run, and
    // what was read of it before is never handed back.
    restart();
    EXPECT_EQ(leftOver("user-2").send.size(), 1u);
    journal->putBack("user-2", "W2");
    writer->runAll();
    EXPECT_TRUE(journal->forget("user-2"));
    EXPECT_FALSE(fs::exists(journal->fileOf("user-2")));
    EXPECT_TRUE(leftOver("user-2").send.empty());
    writer->runAll();
    EXPECT_TRUE(journal->forget("nobody"));
}

TEST_F(SaveJournalTest, AFileThatCannotBeReadWholeIsSetAsideNeverHalfTrusted) {
    Json good = Json{{"owner", "user-1"}, {"saves", Json::array({sentence("S1").toJson()})}};
    Json badEntry = good;
    badEntry["saves"].push_back(Json{{"kind", "word"}, {"id", "W1"}, {"lemma", "cat"}});
    Json badOrigin = good;
    badOrigin["saves"][0]["origin"] = Json{{"title", "no app"}};
    Json otherOwner = good;
    otherOwner["owner"] = "user-2";
    const std::string torn = good.dump().substr(0, 40);
    int n = 0;
    for (const std::string& bytes :
         {torn, badEntry.dump(), badOrigin.dump(), otherOwner.dump(), std::string()}) {
        SCOPED_TRACE(bytes);
        const fs::path path = journal->fileOf("user-1");
        fs::create_directories(path.parent_path());
        ASSERT_FALSE(fileio::writeAtomically(path, bytes));
        restart();
        EXPECT_TRUE(leftOver("user-1").send.empty());
        ++n;
        const std::string aside =
            path.filename().string() + ".unreadable" + (n == 1 ? "" : "." + std::to_string(n));
        EXPECT_EQ(fileio::readFile(path.parent_path() / aside), bytes);
        EXPECT_TRUE(log.has("save", "🔴 저장 대기 기록을 읽을 수 없어 옮겨 둠 to=" + aside));
        EXPECT_FALSE(fs::exists(path));
    }
    record("user-1", word("W2"));
    EXPECT_EQ(file("user-1")["saves"].size(), 1u);
}

TEST_F(SaveJournalTest, StaysBoundedAndNeverHoldsASaveBack) {
    journal = SaveJournal::make(root.path(), writer, 3);
    for (int i = 1; i <= 4; ++i) {
        record("user-1", word("W" + std::to_string(i)));
    }
    EXPECT_EQ(sent, 4);
    EXPECT_EQ(file("user-1")["saves"].size(), 3u);
    EXPECT_TRUE(log.has("save", "저장 대기 기록 가득 참 — 기록 없이 보냄 work=W4"));

    // A state folder that cannot be written: the save still goes out, and the log says why.
    TempDir blocked;
    const fs::path file = blocked.write("PARLENDO", "not a folder");
    journal = SaveJournal::make(file, writer);
    record("user-1", sentence("S1"));
    EXPECT_EQ(sent, 5);
    EXPECT_TRUE(log.contains("save", "저장 대기 기록 쓰기 실패 "));
    EXPECT_TRUE(log.has("save", "🔴 저장 대기 기록 못 함 — 기록 없이 보냄 work=S1"));
}

TEST_F(SaveJournalTest, TwoRunsOverOneDataFolderNeverWriteOverEachOther) {
    record("user-1", word("W1"));
    // A second run over the same folder (another session, a shared home) keeps nothing and
    // hands nothing back while the first holds the journals.
    auto otherWriter = std::make_shared<ManualExecutor>();
    auto other = SaveJournal::make(root.path(), otherWriter);
    bool otherSent = false;
    other->record("user-1", word("X1"), [&] { otherSent = true; });
    SaveJournal::LeftOver otherLeft;
    other->takeLeftOver("user-1", [&](SaveJournal::LeftOver left) { otherLeft = std::move(left); });
    otherWriter->runAll();
    EXPECT_TRUE(otherSent);
    EXPECT_TRUE(otherLeft.send.empty());
    EXPECT_EQ(file("user-1")["saves"].size(), 1u);
    EXPECT_TRUE(
        log.has("save", "🔴 저장 대기 기록을 다른 실행이 잡고 있음 — 이 실행은 기록하지 않음"));

    // Once the first has ended, the second takes the journals over.
    journal.reset();
    writer->runAll();
    other->takeLeftOver("user-1", [&](SaveJournal::LeftOver left) { otherLeft = std::move(left); });
    otherWriter->runAll();
    EXPECT_EQ(ids(otherLeft.send), std::vector<std::string>{"W1"});
}

TEST_F(SaveJournalTest, WithoutTheFoldersLockNothingIsKept) {
    // A file system without locks: two runs over the folder could not tell each other apart, and
    // each would erase what the other keeps.
    const SaveJournal::LockFile unlockable = [](int) {
        return ENOLCK;
    };
    journal = SaveJournal::make(root.path(), writer, SaveJournal::defaultCapacity, unlockable);
    auto other = SaveJournal::make(root.path(), writer, SaveJournal::defaultCapacity, unlockable);
    record("user-1", word("W1"));
    other->record("user-1", word("X1"), [this] { ++sent; });
    writer->runAll();
    record("user-1", sentence("S1"));
    // Every save goes out, none is written, and each run says why once.
    EXPECT_EQ(sent, 3);
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));
    EXPECT_EQ(log.count("save", "🔴 저장 대기 기록을 잠글 수 없음 "), 2u);
    EXPECT_EQ(log.count("save", "기록 없이 보냄"), 2u);

    // What an earlier run with the lock left stays as it is for a run that holds it again.
    const Json left{{"owner", "user-1"}, {"saves", Json::array({word("W0").toJson()})}};
    root.write("save_journal/" + journal->fileOf("user-1").filename().string(), left.dump());
    EXPECT_TRUE(leftOver("user-1").send.empty());
    journal->signedOut("user-1");
    writer->runAll();
    EXPECT_EQ(file("user-1"), left);
}

// The writer is a thread of its own in the program: the main thread's account changes and
// deletions never wait for its writes, and nothing the two share is touched without its lock.
TEST(SaveJournalThreads, TheMainThreadForgetsWhileTheWriterWrites) {
    TempDir root;
    LogCapture log;
    auto writer = std::make_shared<SerialQueue>("test.save-journal");
    auto journal = SaveJournal::make(root.path(), writer);
    std::atomic<int> sent{0};
    // Each forget meets the writer wherever it is: before, during or after the writes of what
    // was recorded ahead of it.
    std::thread caller([&] {
        for (int i = 0; i < 40; ++i) {
            if (i == 39) {
                // The last forget comes once W38 is on disk, and W38 is never settled: only the
                // forget can keep it from coming back with the next write.
                writer->drain();
            }
            if (i % 10 == 9) {
                EXPECT_TRUE(journal->forget("user-1"));
            }
            journal->record("user-1", word("W" + std::to_string(i)), [&] { ++sent; });
            if (i != 39) {
                journal->settle("user-1", "W" + std::to_string(i - 1));
            }
        }
        journal->signedOut("user-2");
    });
    caller.join();
    std::vector<std::string> handed;
    journal->takeLeftOver("user-1", [&](SaveJournal::LeftOver left) { handed = ids(left.send); });
    writer->drain();
    EXPECT_EQ(sent.load(), 40);
    EXPECT_TRUE(handed.empty());
    // What was recorded after the last forget is on disk, and only that: no write of a later
    // entry brings back what the forget erased.
    const auto bytes = fileio::readFile(journal->fileOf("user-1"));
    ASSERT_TRUE(bytes);
    const auto saved = json::parse(*bytes).value_or(Json());
    ASSERT_EQ(saved["saves"].size(), 1u);
    EXPECT_EQ(saved["saves"][0]["id"], "W39");
}

}  // namespace
}  // namespace parlendo
