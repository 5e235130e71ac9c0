#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "LogCapture.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainSetup.h"
#include "foundation/LibsecretKeychain.h"
#include "foundation/Uuid.h"

namespace parlendo {
namespace {

// Runs against the Secret Service of the session (scripts/with-session.sh starts an unlocked
// gnome-keyring on a private bus).
class LibsecretKeychainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const auto reason = LibsecretKeychain::unavailableReason(5.0)) {
            GTEST_SKIP() << "no usable Secret Service on this bus (" << *reason
                         << "); run the platform tests through scripts/with-session.sh";
        }
    }
    void TearDown() override {
        for (const char* account : {"a", "b", "bin"}) {
            store.remove(service, account);
        }
    }

    LibsecretKeychain store;
    const std::string service = "local.parlendo.mac.test-" + uuid::makeLower();
};

TEST_F(LibsecretKeychainTest, StatusesFollowTheKeychainContract) {
    EXPECT_EQ(store.read(service, "a").error(), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.update(service, "a", "1"), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.remove(service, "a"), KeychainStatus::itemNotFound);
    EXPECT_EQ(store.add(service, "a", "1"), KeychainStatus::success);
    EXPECT_EQ(store.add(service, "a", "2"), KeychainStatus::duplicateItem);
    EXPECT_EQ(store.read(service, "a").value(), "1");
    EXPECT_EQ(store.update(service, "a", "3"), KeychainStatus::success);
    EXPECT_EQ(store.read(service, "a").value(), "3");
    EXPECT_EQ(store.remove(service, "a"), KeychainStatus::success);
    EXPECT_EQ(store.read(service, "a").error(), KeychainStatus::itemNotFound);
}

TEST_F(LibsecretKeychainTest, ItemsAreKeptApartByServiceAndAccount) {
    const std::string other = service + "-other";
    ASSERT_EQ(store.add(service, "a", "mine"), 0);
    ASSERT_EQ(store.add(service, "b", "second"), 0);
    ASSERT_EQ(store.add(other, "a", "theirs"), 0);
    EXPECT_EQ(store.read(service, "a").value(), "mine");
    EXPECT_EQ(store.read(service, "b").value(), "second");
    EXPECT_EQ(store.read(other, "a").value(), "theirs");
    EXPECT_EQ(store.update(service, "a", "changed"), 0);
    EXPECT_EQ(store.read(other, "a").value(), "theirs");
    EXPECT_EQ(store.remove(other, "a"), 0);
    EXPECT_EQ(store.read(service, "a").value(), "changed");
}

TEST_F(LibsecretKeychainTest, SecretsAreBytes) {
    const std::string bytes("\0\xFF refresh\xC3\x28", 12);
    ASSERT_EQ(store.add(service, "bin", bytes), 0);
    EXPECT_EQ(store.read(service, "bin").value(), bytes);
}

TEST_F(LibsecretKeychainTest, SessionStoreOverTheSecretService) {
    const auto previous = Keychain::backend();
    Keychain::setBackend(std::make_shared<LibsecretKeychain>());
    KeychainSessionStore sessions;
    const bool saved = sessions.save("rt-" + service);
    const auto loaded = sessions.loadRefreshToken();
    const bool cleared = sessions.clear();
    const auto afterClear = sessions.loadRefreshToken();
    Keychain::setBackend(previous);
    EXPECT_TRUE(saved);
    EXPECT_EQ(loaded, "rt-" + service);
    EXPECT_TRUE(cleared);
    EXPECT_FALSE(afterClear);
}

TEST_F(LibsecretKeychainTest, StartUpPicksTheSecretService) {
    const auto previous = Keychain::backend();
    KeychainSetup::install(5.0);
    EXPECT_EQ(Keychain::backend()->name(), "secret_service");
    Keychain::setBackend(previous);
}

TEST(KeychainSetup, FallsBackToTheFileWhenNoServiceAnswers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/parlendo-bus", 1);
            ::setenv("XDG_DATA_HOME", "/nonexistent/parlendo-data", 1);
            testing::LogCapture::echoToStandardError();
            KeychainSetup::install(2.0);
            std::exit(Keychain::backend()->name() == "file" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "\\[keychain\\] .*path=/nonexistent/parlendo-data/PARLENDO/keychain.json");
}

}  // namespace
}  // namespace parlendo
