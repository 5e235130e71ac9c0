#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "saving/SaveJournal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::ManualExecutor;
using testing::TempDir;

SaveWork word(const std::string& id, const std::string& lemma = "Cat") {
    return SaveWork(id, "SOURCE-1", lemma, std::nullopt, "고양이",
                    {{"고양이", "a small animal", "", "noun"}, {"", "a pet", "My cat.", ""}},
                    1'700'000'000.25);
}

SentenceWork sentence(const std::string& id) {
    return SentenceWork{id, "SOURCE-2", "The cat sat.", "고양이가 앉았다."};
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

// A journal under a temporary state root whose writer runs when the test says so. `restart()`
// starts a new run over the same files, as after a crash.
struct SaveJournalTest : ::testing::Test {
    void restart() { journal = SaveJournal::make(root.path(), writer); }

    void record(const std::string& owner, SaveJournal::Save save) {
        journal->record(owner, std::move(save), [this] { ++sent; });
        writer->runAll();
    }

    SaveJournal::Saves leftOver(const std::string& owner) {
        SaveJournal::Saves out;
        journal->takeLeftOver(owner, [&](SaveJournal::Saves saves) { out = std::move(saves); });
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

TEST_F(SaveJournalTest, ASaveIsOnDiskBeforeItIsSentAndLeavesWithItsOutcome) {
    journal->record("user-1", word("W1"), [this] {
        // The save goes out only once the journal holds it.
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
    EXPECT_EQ(kept["saves"][0]["kind"], "word");
    EXPECT_EQ(kept["saves"][1]["kind"], "sentence");

    journal->settle("W1");
    writer->runAll();
    ASSERT_EQ(file("user-1")["saves"].size(), 1u);
    EXPECT_EQ(file("user-1")["saves"][0]["id"], "S1");
    // An id the journal does not hold changes nothing.
    journal->settle("OTHER");
    journal->settle("S1");
    writer->runAll();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(sent, 2);
}

TEST_F(SaveJournalTest, WhatARunLeftIsHandedBackOnceToItsOwnAccount) {
    record("user-1", word("W1", "Serendipity"));
    record("user-2", word("W2"));
    record("user-1", sentence("S1"));
    // What this run sends itself is never handed back.
    EXPECT_TRUE(leftOver("user-1").empty());

    restart();
    const auto left = leftOver("user-1");
    ASSERT_EQ(left.size(), 2u);
    // Everything comes back as it was captured: the word with its case, senses and time, the
    // sentence with its id.
    EXPECT_EQ(std::get<SaveWork>(left[0]), word("W1", "Serendipity"));
    EXPECT_EQ(std::get<SentenceWork>(left[1]), sentence("S1"));
    EXPECT_TRUE(leftOver("user-1").empty());
    ASSERT_EQ(leftOver("user-2").size(), 1u);

    // Still on disk until their outcome, so a second crash loses nothing either.
    restart();
    record("user-1", word("W3"));
    ASSERT_EQ(leftOver("user-1").size(), 2u);
    journal->settle("W1");
    journal->settle("S1");
    writer->runAll();
    restart();
    const auto last = leftOver("user-1");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(SaveJournal::idOf(last[0]), "W3");
}

TEST_F(SaveJournalTest, SigningOutDeletesThatAccountsJournalOnly) {
    journal->follow("user-1");
    record("user-1", word("W1"));
    record("user-2", word("W2"));
    journal->follow(std::nullopt);
    writer->runAll();
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));
    EXPECT_TRUE(fs::exists(journal->fileOf("user-2")));
    EXPECT_TRUE(log.has("save", "로그아웃 — 저장 대기 기록 지움"));
    // The outcome of a save that was on its way writes nothing back.
    journal->settle("W1");
    writer->runAll();
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));

    // A switch to another account keeps the journal of the first.
    journal->follow("user-2");
    journal->follow("user-1");
    writer->runAll();
    EXPECT_TRUE(fs::exists(journal->fileOf("user-2")));

    // The account's local data: the journal goes with it, also when it was never read.
    restart();
    EXPECT_TRUE(journal->forget("user-2"));
    EXPECT_FALSE(fs::exists(journal->fileOf("user-2")));
    EXPECT_TRUE(leftOver("user-2").empty());
    EXPECT_TRUE(journal->forget("nobody"));
}

TEST_F(SaveJournalTest, AFileThatCannotBeReadWholeIsSetAsideNeverHalfTrusted) {
    Json good = Json{{"owner", "user-1"},
                     {"saves", Json::array({Json{{"kind", "sentence"},
                                                 {"id", "S1"},
                                                 {"source_id", "SOURCE-2"},
                                                 {"original", "The cat sat."},
                                                 {"korean", "고양이가 앉았다."}}})}};
    Json badEntry = good;
    badEntry["saves"].push_back(Json{{"kind", "word"}, {"id", "W1"}, {"lemma", "cat"}});
    Json otherOwner = good;
    otherOwner["owner"] = "user-2";
    const std::string torn = good.dump().substr(0, 40);
    int n = 0;
    for (const std::string& bytes : {torn, badEntry.dump(), otherOwner.dump(), std::string()}) {
        SCOPED_TRACE(bytes);
        const fs::path path = journal->fileOf("user-1");
        fs::create_directories(path.parent_path());
        ASSERT_FALSE(fileio::writeAtomically(path, bytes));
        restart();
        EXPECT_TRUE(leftOver("user-1").empty());
        ++n;
        const std::string aside =
            path.filename().string() + ".unreadable" + (n == 1 ? "" : "." + std::to_string(n));
        EXPECT_EQ(fileio::readFile(path.parent_path() / aside), bytes);
        EXPECT_TRUE(log.has("save", "🔴 저장 대기 기록을 읽을 수 없어 옮겨 둠 to=" + aside));
        EXPECT_FALSE(fs::exists(path));
    }
    // The next save starts a fresh journal.
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

}  // namespace
}  // namespace parlendo
