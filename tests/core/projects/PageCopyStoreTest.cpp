#include "FakeClock.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "foundation/Json.h"
#include "foundation/SHA256.h"
#include "projects/PageCopyStore.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct PageCopyStoreTest : ::testing::Test {
    TempDir dir;
    std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
    PageCopyStore store{dir.path(), clock};
    testing::LogCapture log;

    fs::path copyFile(const std::string& user, const std::string& document) const {
        return dir.path() / "drive_cache" / user / (document + ".json");
    }
};

TEST_F(PageCopyStoreTest, CopiesAreReadBackOnlyForTheSameText) {
    EXPECT_EQ(store.write("u1", "d1", {"one", "two"}, "sha-a"), 2);
    ASSERT_TRUE(store.pages("u1", "d1", "sha-a"));
    EXPECT_EQ(*store.pages("u1", "d1", "sha-a"), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(store.pages("u1", "d1", "sha-b"), nullptr);
    EXPECT_EQ(store.pages("u2", "d1", "sha-a"), nullptr);

    // A fresh store reads the file; a wrong text keeps the read copy in memory anyway.
    PageCopyStore fresh(dir.path(), clock);
    EXPECT_EQ(fresh.pages("u1", "d1", "sha-b"), nullptr);
    fs::remove(copyFile("u1", "d1"));
    EXPECT_NE(fresh.pages("u1", "d1", "sha-a"), nullptr);

    TempDir other;
    other.write("drive_cache/u1/d9.json", "{\"sha\": \"s\", \"pages\": [1]}");
    EXPECT_EQ(PageCopyStore(other.path(), clock).pages("u1", "d9", "s"), nullptr);
}

TEST_F(PageCopyStoreTest, MemoryHoldsTheFourLatestCopies) {
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(store.write("u1", "d" + std::to_string(i), {"p"}, "s"));
    }
    // Copies whose files are gone are still answered while they are in memory.
    fs::remove(copyFile("u1", "d2"));
    fs::remove(copyFile("u1", "d3"));
    EXPECT_NE(store.pages("u1", "d3", "s"), nullptr);
    // d1 was evicted by d5: it comes from disk, and evicts the then oldest, d2.
    EXPECT_NE(store.pages("u1", "d1", "s"), nullptr);
    EXPECT_EQ(store.pages("u1", "d2", "s"), nullptr);
    EXPECT_NE(store.pages("u1", "d3", "s"), nullptr);
}

TEST_F(PageCopyStoreTest, IdsThatAreNotSafePathComponentsGetNoFiles) {
    const std::string long65(65, 'a');
    const std::vector<std::string> ids{long65, "a/b", "a.b", "a_b", ""};
    for (const auto& bad : ids) {
        EXPECT_EQ(store.write(bad, "d1", {"p"}, "s"), std::nullopt) << bad;
        EXPECT_EQ(store.write("u1", bad, {"p"}, "s"), std::nullopt) << bad;
        EXPECT_EQ(store.thumbnailPath(bad, "d1"), std::nullopt) << bad;
    }
    // Any non-empty document id may have a thumbnail: its file name is hashed.
    EXPECT_EQ(store.thumbnailPath("u1", "../x"),
              dir.path() / "drive_cache/u1/thumbs" / (SHA256::hex("../x").substr(0, 32) + ".png"));
    EXPECT_EQ(store.thumbnailPath("u1", ""), std::nullopt);
    EXPECT_TRUE(PageCopyStore::isID(std::string(64, 'Z')));
}

TEST_F(PageCopyStoreTest, PruneRemoveAndClear) {
    ASSERT_TRUE(store.write("u1", "keep", {"p"}, "s"));
    ASSERT_TRUE(store.write("u1", "drop", {"p"}, "s"));
    store.noteFetchFailure("u1", "keep", "s");
    dir.write("drive_cache/u1/thumbs/x.png", "png");
    EXPECT_EQ(store.prune("u1", {"keep"}), 1);
    EXPECT_FALSE(fs::exists(copyFile("u1", "drop")));
    EXPECT_EQ(store.pages("u1", "drop", "s"), nullptr);
    EXPECT_TRUE(fs::exists(dir.path() / "drive_cache/u1/fetch_skip.dat"));
    EXPECT_TRUE(fs::exists(dir.path() / "drive_cache/u1/thumbs/x.png"));
    EXPECT_EQ(store.prune("nobody", {}), 0);

    const auto thumb = *store.thumbnailPath("u1", "keep");
    dir.write(thumb.lexically_relative(dir.path()).string(), "png");
    store.remove("u1", "keep");
    EXPECT_FALSE(fs::exists(thumb));
    EXPECT_EQ(store.pages("u1", "keep", "s"), nullptr);

    ASSERT_TRUE(store.write("u2", "d", {"p"}, "s"));
    ASSERT_TRUE(store.write("u1", "d", {"p"}, "s"));
    dir.write("drive_cache/stray.txt", "x");
    store.pruneOthers("u1");
    EXPECT_FALSE(fs::exists(dir.path() / "drive_cache/u2"));
    EXPECT_FALSE(fs::exists(dir.path() / "drive_cache/stray.txt"));
    EXPECT_EQ(store.pages("u2", "d", "s"), nullptr);
    EXPECT_NE(store.pages("u1", "d", "s"), nullptr);

    EXPECT_TRUE(store.clear());
    EXPECT_FALSE(fs::exists(dir.path() / "drive_cache"));
    EXPECT_EQ(store.pages("u1", "d", "s"), nullptr);
    EXPECT_TRUE(store.clear());
}

// The sign-out's way: the copies go out of reach at once, their files are removed later (off the
// main loop), and a new account's copies written meanwhile are left alone.
TEST_F(PageCopyStoreTest, DetachedCopiesAreOutOfReachAtOnceAndRemovedLater) {
    ASSERT_TRUE(store.write("u1", "d", {"p"}, "s"));
    ASSERT_TRUE(store.detach());
    EXPECT_FALSE(fs::exists(dir.path() / "drive_cache"));
    EXPECT_EQ(store.pages("u1", "d", "s"), nullptr);
    EXPECT_EQ(PageCopyStore(dir.path(), clock).pages("u1", "d", "s"), nullptr);
    ASSERT_TRUE(store.write("u2", "d", {"p"}, "s"));

    EXPECT_TRUE(store.removeDetached());
    EXPECT_TRUE(fs::exists(copyFile("u2", "d")));
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename(), "drive_cache");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);

    // What a run that ended before removing it left aside goes with the next removal, and with
    // the forgetting of an account's data.
    ASSERT_TRUE(store.detach());
    EXPECT_TRUE(store.detach());  // nothing left in place
    EXPECT_TRUE(PageCopyStore(dir.path(), clock).clear());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(PageCopyStoreTest, FailedFetchesAreRememberedForADay) {
    store.noteFetchFailure("u1", "d1", "sha-1");
    EXPECT_TRUE(store.fetchSkipped("u1", "d1", "sha-1"));
    EXPECT_FALSE(store.fetchSkipped("u1", "d1", "sha-2"));
    EXPECT_FALSE(store.fetchSkipped("u2", "d1", "sha-1"));

    // Times are stored as seconds since 2001-01-01.
    auto saved = json::parse(TempDir::read(dir.path() / "drive_cache/u1/fetch_skip.dat"));
    ASSERT_TRUE(saved);
    EXPECT_DOUBLE_EQ((*saved)["d1"]["at"].get<double>(),
                     clock->now() - PageCopyStore::referenceEpoch);

    clock->advance(86399);
    EXPECT_TRUE(store.fetchSkipped("u1", "d1", "sha-1"));
    clock->advance(1);
    EXPECT_FALSE(store.fetchSkipped("u1", "d1", "sha-1"));
    store.noteFetchFailure("u1", "d2", "sha-2");
    saved = json::parse(TempDir::read(dir.path() / "drive_cache/u1/fetch_skip.dat"));
    EXPECT_FALSE(saved->contains("d1"));  // the old entry was dropped from the file
    EXPECT_TRUE(saved->contains("d2"));

    dir.write("drive_cache/u1/fetch_skip.dat", "garbage");
    EXPECT_FALSE(store.fetchSkipped("u1", "d2", "sha-2"));
    store.noteFetchFailure("u1", "d3", "sha-3");
    EXPECT_TRUE(store.fetchSkipped("u1", "d3", "sha-3"));
}

}  // namespace
}  // namespace parlendo
