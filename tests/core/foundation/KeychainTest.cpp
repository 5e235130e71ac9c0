#include <gtest/gtest.h>

#include <vector>

#include "FakeKeychainBackend.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"

namespace parlendo {
namespace {

using testing::FakeKeychainBackend;
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

class KeychainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = Keychain::backend();
        Keychain::setBackend(backend);
    }
    void TearDown() override { Keychain::setBackend(previous); }

    std::shared_ptr<FakeKeychainBackend> backend = std::make_shared<FakeKeychainBackend>();
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

TEST_F(KeychainTest, ReadsTellAnAbsentItemFromAStoreThatDidNotAnswer) {
    EXPECT_EQ(Keychain::read("missing").value(), std::nullopt);
    backend->items["local.parlendo.mac/bad"] = "ok\xC3\x28";
    EXPECT_EQ(Keychain::read("bad").error(), KeychainStatus::decodeFailure);
    EXPECT_FALSE(Keychain::get("bad"));
    backend->items["local.parlendo.mac/good"] = "fine";
    backend->readStatus = KeychainStatus::notAvailable;
    EXPECT_EQ(Keychain::read("good").error(), KeychainStatus::notAvailable);
    EXPECT_EQ(Keychain::read("missing").error(), KeychainStatus::notAvailable);
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

TEST_F(KeychainTest, SessionStoreClearIsTrueOnlyWhenTheTokenIsKnownGone) {
    KeychainSessionStore store;
    ASSERT_TRUE(store.save("rt-1"));
    // The keyring stops answering during a sign-out: the token may well still be stored.
    backend->writeStatus = KeychainStatus::notAvailable;
    backend->readStatus = KeychainStatus::notAvailable;
    EXPECT_FALSE(store.clear());
    // The delete went through, but the read-back got no answer.
    backend->writeStatus = 0;
    EXPECT_FALSE(store.clear());
    backend->readStatus = 0;
    EXPECT_TRUE(store.clear());
    // A stored value that is not text is still a stored value.
    backend->items["local.parlendo.mac/refresh_token"] = "\xFF";
    backend->silentlyIgnoreWrites = true;
    EXPECT_FALSE(store.clear());
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

TEST_F(KeychainTest, ALeftoverFileIsReadBehindTheServiceAndEmptiedByEveryChange) {
    auto leftover = std::make_shared<FakeKeychainBackend>();
    leftover->items = {{"local.parlendo.mac/refresh_token", "rt-file"},
                       {"local.parlendo.mac/optional_custom_ai_key", "key-file"},
                       {"local.parlendo.mac/optional_custom_ai_key_owner", "user-1"}};
    Keychain::setBackend(backend, leftover);
    EXPECT_EQ(Keychain::get("refresh_token"), "rt-file");

    // A write goes to the service and takes the old value out of the file.
    KeychainSessionStore sessions;
    EXPECT_TRUE(sessions.save("rt-new"));
    EXPECT_EQ(leftover->items.count("local.parlendo.mac/refresh_token"), 0u);
    EXPECT_EQ(backend->items.at("local.parlendo.mac/refresh_token"), "rt-new");

    // Sign-out and the wipe clear both stores; an item is gone only when it is gone from both.
    EXPECT_TRUE(sessions.clear());
    leftover->writeStatus = KeychainStatus::ioFailure;
    EXPECT_FALSE(Keychain::set(std::nullopt, "optional_custom_ai_key"));
    EXPECT_EQ(Keychain::get("optional_custom_ai_key"), "key-file");
    leftover->writeStatus = 0;
    leftover->readStatus = KeychainStatus::ioFailure;
    EXPECT_TRUE(Keychain::set(std::nullopt, "optional_custom_ai_key_owner"));
    EXPECT_EQ(Keychain::read("optional_custom_ai_key_owner").error(), KeychainStatus::ioFailure);
    leftover->readStatus = 0;
    EXPECT_TRUE(Keychain::set(std::nullopt, "optional_custom_ai_key"));
    EXPECT_TRUE(leftover->items.empty());
}

class KeychainChoiceTest : public KeychainTest {
  protected:
    std::filesystem::path file() const { return dir.path() / "PARLENDO" / "keychain.json"; }
    TempDir dir;
};

TEST_F(KeychainChoiceTest, WithoutTheServiceTheFileIsUsedAndRemembersSignOut) {
    Keychain::choose(file(), nullptr, "no_service test");
    EXPECT_EQ(Keychain::backend()->name(), "file");
    EXPECT_EQ(Keychain::leftover(), nullptr);
    EXPECT_TRUE(log.contains("keychain", "Secret Service 를 쓸 수 없어 파일에 보관한다 path=" +
                                             file().string() + " reason=no_service test"));
    KeychainSessionStore sessions;
    ASSERT_TRUE(sessions.save("rt-file"));
    ASSERT_TRUE(sessions.clear());

    // The next launch finds the service, which still holds a token from an earlier launch: the
    // sign-out reaches it, and the file is gone.
    backend->items["local.parlendo.mac/refresh_token"] = "rt-earlier";
    Keychain::choose(file(), backend);
    EXPECT_EQ(Keychain::backend(), backend);
    EXPECT_EQ(sessions.loadRefreshToken(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_TRUE(log.contains("keychain", "items=0 removals=1"));
}

TEST_F(KeychainChoiceTest, TheServiceTakesOverWhatTheFileHolds) {
    dir.write("PARLENDO/keychain.json.bad", R"({"items":{"local.parlendo.mac":{"x":"c2VjcmV0"}}})");
    KeychainFile earlier(file(), KeychainFile::Removals::remember);
    ASSERT_EQ(earlier.add(Keychain::service, "refresh_token", "rt-file"), 0);
    ASSERT_EQ(earlier.add(Keychain::service, "optional_custom_ai_key", "key"), 0);

    // The service fails to take them: the file stays, read behind the service.
    backend->writeStatus = KeychainStatus::notAvailable;
    Keychain::choose(file(), backend);
    EXPECT_FALSE(std::filesystem::exists(file().string() + ".bad"));
    ASSERT_NE(Keychain::leftover(), nullptr);
    EXPECT_EQ(Keychain::get("refresh_token"), "rt-file");
    EXPECT_TRUE(log.contains("keychain", "🔴 파일의 비밀을 Secret Service 로 다 옮기지 못해"));

    // The next launch moves everything and deletes the file.
    backend->writeStatus = 0;
    Keychain::choose(file(), backend);
    EXPECT_EQ(Keychain::leftover(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(Keychain::get("refresh_token"), "rt-file");
    EXPECT_EQ(backend->items.at("local.parlendo.mac/optional_custom_ai_key"), "key");
    EXPECT_TRUE(log.contains(
        "keychain", "파일의 비밀을 Secret Service 로 옮기고 파일을 지움 items=2 removals=0"));
}

}  // namespace
}  // namespace parlendo
