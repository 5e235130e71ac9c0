#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "TempDir.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"

namespace parlendo {
namespace {

using testing::TempDir;

// Operations that record their calls and answer scripted statuses.
struct ScriptedOps {
    std::vector<std::string> calls;
    std::int32_t updateStatus = KeychainStatus::success;
    std::int32_t addStatus = KeychainStatus::success;
    std::int32_t removeStatus = KeychainStatus::success;

    KeychainWrite::Ops ops() {
        KeychainWrite::Ops o;
        o.update = [this](const std::string& data) {
            calls.push_back("update:" + data);
            return updateStatus;
        };
        o.add = [this](const std::string& data) {
            calls.push_back("add:" + data);
            return addStatus;
        };
        o.remove = [this] {
            calls.push_back("delete");
            return removeStatus;
        };
        return o;
    }
};

TEST(KeychainWrite, WriteUpdatesAndAddsOnlyWhenTheItemIsMissing) {
    ScriptedOps existing;
    EXPECT_EQ(KeychainWrite::run(std::string("v"), existing.ops()), 0);
    EXPECT_EQ(existing.calls, std::vector<std::string>{"update:v"});

    ScriptedOps missing;
    missing.updateStatus = KeychainStatus::itemNotFound;
    EXPECT_EQ(KeychainWrite::run(std::string("v"), missing.ops()), 0);
    EXPECT_EQ(missing.calls, (std::vector<std::string>{"update:v", "add:v"}));

    // The status of the last operation run is the answer.
    missing.calls.clear();
    missing.addStatus = -34;
    EXPECT_EQ(KeychainWrite::run(std::string("v"), missing.ops()), -34);

    ScriptedOps failing;
    failing.updateStatus = -25293;
    EXPECT_EQ(KeychainWrite::run(std::string("v"), failing.ops()), -25293);
    EXPECT_EQ(failing.calls, std::vector<std::string>{"update:v"});  // no add after a failure
}

TEST(KeychainWrite, DeleteTreatsAMissingItemAsSuccess) {
    ScriptedOps ops;
    EXPECT_EQ(KeychainWrite::run(std::nullopt, ops.ops()), 0);
    ops.removeStatus = KeychainStatus::itemNotFound;
    EXPECT_EQ(KeychainWrite::run(std::nullopt, ops.ops()), 0);
    ops.removeStatus = -61;
    EXPECT_EQ(KeychainWrite::run(std::nullopt, ops.ops()), -61);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"delete", "delete", "delete"}));
}

class KeychainFileTest : public ::testing::Test {
  protected:
    std::filesystem::path file() const { return dir.path() / "state" / "keychain.json"; }
    TempDir dir;
};

TEST_F(KeychainFileTest, ItemsLiveUnderServiceAndAccount) {
    KeychainFile store(file());
    EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.update("s", "a", "1"), KeychainStatus::itemNotFound);
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
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(store.read("s", "bin").value(), bytes);
    EXPECT_EQ(store.read("s", "empty").value(), "");
    // The secret is not stored as plain text, and no temporary file is left behind.
    EXPECT_EQ(TempDir::read(file()).find("token"), std::string::npos);
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file().parent_path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST_F(KeychainFileTest, UnparsableFileIsMovedAsideNotOverwritten) {
    dir.write("state/keychain.json", "{ garbage");
    KeychainFile store(file());
    EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::decodeFailure);
    EXPECT_EQ(TempDir::read(file()), "{ garbage");  // reading changes nothing

    EXPECT_EQ(
        KeychainWrite::run(std::string("v"), KeychainWrite::Ops::forBackend(
                                                 std::make_shared<KeychainFile>(file()), "s", "a")),
        0);
    EXPECT_EQ(store.read("s", "a").value(), "v");
    EXPECT_EQ(TempDir::read(file().string() + ".bad"), "{ garbage");

    for (const char* bad : {R"({"version":1})", R"({"items":{},"version":2})",
                            R"({"items":{"s":{"a":"not base64!"}},"version":1})",
                            R"({"items":{"s":["x"]},"version":1})"}) {
        dir.write("state/keychain.json", bad);
        EXPECT_EQ(store.read("s", "a").error(), KeychainStatus::decodeFailure) << bad;
    }
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

// A store whose writes can fail loudly, or "succeed" without taking effect.
class FakeBackend final : public KeychainBackend {
  public:
    Result<std::string, std::int32_t> read(const std::string& service,
                                           const std::string& account) override {
        std::lock_guard lock(mutex);
        if (readStatus != 0) {
            return fail(readStatus);
        }
        const auto it = items.find(service + "/" + account);
        if (it == items.end()) {
            return fail(KeychainStatus::itemNotFound);
        }
        return it->second;
    }
    std::int32_t update(const std::string& service, const std::string& account,
                        const std::string& data) override {
        std::lock_guard lock(mutex);
        const auto it = items.find(service + "/" + account);
        if (it == items.end()) {
            return KeychainStatus::itemNotFound;
        }
        if (writeStatus == 0 && !silentlyIgnoreWrites) {
            it->second = data;
        }
        return writeStatus;
    }
    std::int32_t add(const std::string& service, const std::string& account,
                     const std::string& data) override {
        std::lock_guard lock(mutex);
        if (writeStatus == 0 && !silentlyIgnoreWrites) {
            items[service + "/" + account] = data;
        }
        return writeStatus;
    }
    std::int32_t remove(const std::string& service, const std::string& account) override {
        std::lock_guard lock(mutex);
        if (writeStatus != 0) {
            return writeStatus;
        }
        if (silentlyIgnoreWrites) {
            return 0;
        }
        return items.erase(service + "/" + account) ? 0 : KeychainStatus::itemNotFound;
    }
    std::string name() const override { return "fake"; }

    std::mutex mutex;
    std::map<std::string, std::string> items;
    std::int32_t writeStatus = 0;
    std::int32_t readStatus = 0;
    bool silentlyIgnoreWrites = false;
};

class KeychainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = Keychain::backend();
        Keychain::setBackend(backend);
    }
    void TearDown() override { Keychain::setBackend(previous); }

    std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
    std::shared_ptr<KeychainBackend> previous;
    testing::LogCapture log;
};

TEST_F(KeychainTest, ItemsAreTextUnderTheProgramsService) {
    EXPECT_FALSE(Keychain::get("refresh_token"));
    EXPECT_TRUE(Keychain::set(std::string("토큰-1"), "refresh_token"));
    EXPECT_EQ(backend->items.at("local.parlendo.mac/refresh_token"), "토큰-1");
    EXPECT_EQ(Keychain::get("refresh_token"), "토큰-1");
    EXPECT_TRUE(Keychain::set(std::string("2"), "refresh_token"));
    EXPECT_EQ(Keychain::get("refresh_token"), "2");
    EXPECT_TRUE(Keychain::set(std::nullopt, "refresh_token"));
    EXPECT_FALSE(Keychain::get("refresh_token"));
    // Deleting what is not there succeeds quietly.
    EXPECT_TRUE(Keychain::set(std::nullopt, "refresh_token"));
    EXPECT_EQ(log.all(), "");
}

TEST_F(KeychainTest, UnreadableOrInvalidTextReadsAsNothing) {
    backend->items["local.parlendo.mac/bad"] = "ok\xC3\x28";
    EXPECT_FALSE(Keychain::get("bad"));
    backend->items["local.parlendo.mac/good"] = "fine";
    backend->readStatus = KeychainStatus::ioFailure;
    EXPECT_FALSE(Keychain::get("good"));
}

TEST_F(KeychainTest, FailedWriteIsLoggedWithoutTheValue) {
    backend->writeStatus = -25308;
    EXPECT_FALSE(Keychain::set(std::string("secret-value"), "optional_custom_ai_key"));
    EXPECT_FALSE(Keychain::set(std::nullopt, "refresh_token"));
    EXPECT_EQ(log.all(),
              "[keychain] 저장 실패 account=optional_custom_ai_key status=-25308\n"
              "[keychain] 저장 실패 account=refresh_token status=-25308\n");
}

TEST_F(KeychainTest, SessionStoreReadsItsWritesBack) {
    KeychainSessionStore store;
    EXPECT_FALSE(store.loadRefreshToken());
    EXPECT_TRUE(store.save("rt-1"));
    EXPECT_EQ(store.loadRefreshToken(), "rt-1");
    EXPECT_EQ(backend->items.at("local.parlendo.mac/refresh_token"), "rt-1");

    // A write that reports success but did not take effect leaves the old token: false.
    backend->silentlyIgnoreWrites = true;
    EXPECT_FALSE(store.save("rt-2"));
    EXPECT_FALSE(store.clear());
    EXPECT_EQ(store.loadRefreshToken(), "rt-1");

    // A failing write followed by a stale read-back is false too.
    backend->silentlyIgnoreWrites = false;
    backend->writeStatus = KeychainStatus::ioFailure;
    EXPECT_FALSE(store.save("rt-2"));
    backend->writeStatus = 0;

    EXPECT_TRUE(store.clear());
    EXPECT_FALSE(store.loadRefreshToken());
    EXPECT_TRUE(store.clear());  // already absent
}

TEST_F(KeychainTest, SessionStoreOverTheFileStore) {
    TempDir dir;
    Keychain::setBackend(std::make_shared<KeychainFile>(dir.path() / "keychain.json"));
    KeychainSessionStore store;
    EXPECT_TRUE(store.save("refresh-token"));
    EXPECT_EQ(KeychainSessionStore().loadRefreshToken(), "refresh-token");
    EXPECT_TRUE(store.clear());
    EXPECT_FALSE(store.loadRefreshToken());
}

}  // namespace
}  // namespace parlendo
