#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "FakeKeychainBackend.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "foundation/KeychainFile.h"

namespace parlendo {
namespace {

using testing::FakeKeychainBackend;
using testing::TempDir;

class KeychainFileTest : public ::testing::Test {
  protected:
    std::filesystem::path file() const { return dir.path() / "state" / "keychain.json"; }
    std::string item(const std::string& encoded) const {
        return R"({"items":{"s":{"a":")" + encoded + R"("}},"version":1})";
    }
    TempDir dir;
    testing::LogCapture log;
};

TEST_F(KeychainFileTest, ItemsLiveUnderServiceAndAccount) {
    KeychainFile store(file());
    EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.update("s", "a", "1"), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.remove("s", "a"), KeychainStatus::itemNotFound);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(store.add("s", "a", "1"), 0);
    EXPECT_EQ(store.add("s", "a", "2"), KeychainStatus::duplicateItem);
    EXPECT_EQ(store.add("s", "b", "3"), 0);
    EXPECT_EQ(store.add("t", "a", "4"), 0);
    EXPECT_EQ(store.update("s", "a", "5"), 0);

    // A second instance over the same file sees the same items.
    KeychainFile reopened(file());
    EXPECT_EQ(reopened.read("s", "a").value(), "5");
    EXPECT_EQ(reopened.read("s", "b").value(), "3");
    EXPECT_EQ(reopened.read("t", "a").value(), "4");
    EXPECT_EQ(reopened.remove("s", "a"), 0);
    EXPECT_EQ(reopened.remove("s", "a"), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.read("s", "b").value(), "3");
}

TEST_F(KeychainFileTest, FileIsPrivateAndHoldsAnyBytes) {
    KeychainFile store(file());
    const std::string bytes("\0\xFF\xFEtoken\n\"}", 10);
    ASSERT_EQ(store.add("s", "bin", bytes), 0);
    ASSERT_EQ(store.add("s", "empty", ""), 0);
    ASSERT_EQ(store.add("s", "two", "AB"), 0);
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    KeychainFile reopened(file());
    EXPECT_EQ(reopened.read("s", "bin").value(), bytes);
    EXPECT_EQ(reopened.read("s", "empty").value(), "");
    EXPECT_EQ(reopened.read("s", "two").value(), "AB");
    // The secret is not stored as plain text, and no temporary file is left behind.
    EXPECT_EQ(TempDir::read(file()).find("token"), std::string::npos);
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file().parent_path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST_F(KeychainFileTest, OnlyExactBase64IsRead) {
    KeychainFile store(file());
    for (const auto& [encoded, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"QQ==", "A"}, {"QUI=", "AB"}, {"QUJD", "ABC"}, {"+/+/", "\xFB\xFF\xBF"}}) {
        dir.write("state/keychain.json", item(encoded));
        EXPECT_EQ(store.read("s", "a").value(), bytes) << encoded;
    }
    // Damage of any kind is refused instead of being read as other bytes.
    for (const char* encoded : {"A=AA", "AA==AA==", "QUI ", "QQ  ", " QUI", "QUJ\\n", "QUJ",
                                "====", "QQ=A", "QQ===", "QR==", "QUJ=", "QU-D", "QU_D"}) {
        dir.write("state/keychain.json", item(encoded));
        EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::decodeFailure) << encoded;
    }
}

TEST_F(KeychainFileTest, UnparsableFileIsDeletedByTheNextChangeAndNeverCopied) {
    dir.write("state/keychain.json", "{ garbage");
    KeychainFile store(file());
    EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::decodeFailure);
    EXPECT_EQ(TempDir::read(file()), "{ garbage");  // reading changes nothing

    EXPECT_EQ(store.add("s", "a", "v"), 0);
    EXPECT_EQ(store.read("s", "a").value(), "v");
    for (const auto& entry : std::filesystem::directory_iterator(file().parent_path())) {
        EXPECT_EQ(entry.path(), file());
    }
    EXPECT_TRUE(log.contains("keychain", "읽을 수 없는 비밀 파일을 지움"));

    for (const char* bad :
         {R"({"version":1})", R"({"items":{},"version":2})",
          R"({"items":{"s":{"a":"not base64!"}},"version":1})",
          R"({"items":{"s":["x"]},"version":1})", R"({"items":{},"removed":{"s":"a"},"version":1})",
          R"({"items":{},"removed":{"s":[1]},"version":1})"}) {
        dir.write("state/keychain.json", bad);
        EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::decodeFailure) << bad;
    }
}

TEST_F(KeychainFileTest, TheStoreInUseRemembersRemovalsUntilTheItemIsWrittenAgain) {
    KeychainFile inUse(file(), KeychainFile::Removals::remember);
    // Even an item this file never held: the Secret Service may hold it from an earlier launch.
    EXPECT_EQ(inUse.remove("s", "a"), KeychainStatus::itemNotFound);
    EXPECT_EQ(inUse.contents()->removed, (std::set<KeychainFile::Key>{{"s", "a"}}));
    EXPECT_EQ(inUse.add("s", "a", "1"), 0);
    EXPECT_TRUE(inUse.contents()->removed.empty());
    EXPECT_EQ(inUse.remove("s", "a"), 0);
    EXPECT_EQ(inUse.contents()->items.size(), 0u);
    EXPECT_EQ(inUse.contents()->removed.size(), 1u);

    // A leftover file forgets: a removal leaves nothing behind and creates no file.
    KeychainFile leftover(file(), KeychainFile::Removals::forget);
    EXPECT_EQ(leftover.remove("s", "a"), KeychainStatus::itemNotFound);
    EXPECT_TRUE(leftover.contents()->removed.empty());
    ASSERT_EQ(leftover.discard(), 0);
    EXPECT_EQ(leftover.remove("s", "b"), KeychainStatus::itemNotFound);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(KeychainFileTest, MovingIntoAnotherStoreDeletesTheFileOnlyWhenEverythingMoved) {
    KeychainFile store(file(), KeychainFile::Removals::remember);
    ASSERT_EQ(store.add("s", "a", "new"), 0);
    ASSERT_EQ(store.add("s", "b", "two"), 0);
    ASSERT_EQ(store.remove("s", "gone"), KeychainStatus::itemNotFound);

    auto target = std::make_shared<FakeKeychainBackend>();
    target->items = {{"s/a", "old"}, {"s/gone", "stale"}, {"s/other", "kept"}};
    target->writeStatus = KeychainStatus::notAvailable;
    auto failed = store.moveInto(target);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failures, 3);
    EXPECT_TRUE(std::filesystem::exists(file()));
    EXPECT_EQ(store.contents()->items.size(), 2u);  // kept whole for the next try

    target->writeStatus = 0;
    auto moved = store.moveInto(target);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->items, 2);
    EXPECT_EQ(moved->removals, 1);
    EXPECT_EQ(moved->failures, 0);
    EXPECT_EQ(target->items, (std::map<std::string, std::string>{
                                 {"s/a", "new"}, {"s/b", "two"}, {"s/other", "kept"}}));
    EXPECT_FALSE(std::filesystem::exists(file()));

    // An unreadable file cannot be moved: it is deleted and said so.
    dir.write("state/keychain.json", "{ garbage");
    moved = store.moveInto(target);
    ASSERT_TRUE(moved);
    EXPECT_TRUE(moved->unreadable);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(KeychainFileTest, UnwritableDirectoryFailsWithoutLosingItems) {
    KeychainFile store(file());
    ASSERT_EQ(store.add("s", "a", "old"), 0);
    std::filesystem::permissions(file().parent_path(), std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::owner_exec);
    if (::access(file().parent_path().c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running with privileges that ignore directory permissions";
    }
    EXPECT_EQ(store.update("s", "a", "new"), KeychainStatus::ioFailure);
    EXPECT_EQ(store.read("s", "a").value(), "old");
}

TEST_F(KeychainFileTest, ConcurrentWritersLoseNoItem) {
    auto store = std::make_shared<KeychainFile>(file());
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([store, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string account = "a" + std::to_string(t) + "-" + std::to_string(i);
                KeychainWrite::run(account, KeychainWrite::Ops::forBackend(store, "s", account));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 10; ++i) {
            const std::string account = "a" + std::to_string(t) + "-" + std::to_string(i);
            EXPECT_EQ(store->read("s", account).value(), account);
        }
    }
}

}  // namespace
}  // namespace parlendo
