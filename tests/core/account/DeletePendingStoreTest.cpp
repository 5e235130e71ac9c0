#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TempDir.h"
#include "account/DeletePendingStore.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;
namespace fs = std::filesystem;

TEST(FileDeletePendingStore, ReadsOnlyAListOfIdsAndWritesItBackSorted) {
    TempDir dir;
    const auto read = [&](const std::string& text) {
        dir.write(FileDeletePendingStore::fileName, text);
        return FileDeletePendingStore(dir.path()).users();
    };
    EXPECT_EQ(read(R"({"users":["u2","","u1"]})"), (std::set<std::string>{"u1", "u2"}));
    EXPECT_TRUE(read("not json").empty());
    EXPECT_TRUE(read(R"(["u1"])").empty());
    EXPECT_TRUE(read(R"({"users":"u1"})").empty());
    EXPECT_TRUE(read(R"({"users":["u1",2]})").empty());
    EXPECT_TRUE(read(R"({"others":["u1"]})").empty());

    dir.write(FileDeletePendingStore::fileName, R"({"users":["u2","","u1"]})");
    FileDeletePendingStore store(dir.path());
    store.mark("u0");
    EXPECT_EQ(TempDir::read(store.file()), R"({"users":["u0","u1","u2"]})");
    store.clear(std::string("u1"));
    EXPECT_EQ(TempDir::read(store.file()), R"({"users":["u0","u2"]})");
    store.clear(std::nullopt);
    EXPECT_FALSE(fs::exists(store.file()));
    EXPECT_TRUE(store.users().empty());
}

TEST(FileDeletePendingStore, TouchesTheDiskOnlyForAChangeAndReadsItOnce) {
    TempDir dir;
    FileDeletePendingStore store(dir.path() / "state");
    // Nothing pending: clearing writes nothing, and nothing is created.
    store.clear(std::nullopt);
    store.clear(std::string("u1"));
    EXPECT_FALSE(fs::exists(dir.path() / "state"));
    store.mark("u1");
    ASSERT_TRUE(fs::exists(store.file()));
    // Marking an id already there does not write; the file is not read again either.
    fs::remove(store.file());
    store.mark("u1");
    EXPECT_FALSE(fs::exists(store.file()));
    EXPECT_EQ(store.users(), std::set<std::string>{"u1"});
}

TEST(FileDeletePendingStore, AFailedWriteIsLoggedAndTheMemoryStillHolds) {
    LogCapture logs;
    TempDir dir;
    // The state folder is a file: the record cannot be written there.
    dir.write("state", "");
    FileDeletePendingStore store(dir.path() / "state");
    store.mark("u1");
    EXPECT_EQ(store.users(), std::set<std::string>{"u1"});
    ASSERT_EQ(logs.messages("account").size(), 1u);
    EXPECT_EQ(logs.messages("account")[0].rfind("delete_pending 저장 실패 ", 0), 0u);
    store.clear(std::nullopt);
    EXPECT_TRUE(store.users().empty());
}

}  // namespace
}  // namespace parlendo
