#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "KeyringLock.h"
#include "LogCapture.h"
#include "RequireSecretService.h"
#include "SilentSecretService.h"
#include "TempDir.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"
#include "foundation/KeychainSetup.h"
#include "foundation/LibsecretKeychain.h"
#include "foundation/Uuid.h"

namespace parlendo {
namespace {

// Runs against the Secret Service of the session (scripts/with-session.sh starts an unlocked
// gnome-keyring on a private bus).
class LibsecretKeychainTest : public ::testing::Test {
  protected:
    void SetUp() override { PARLENDO_REQUIRE_SECRET_SERVICE(); }
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

TEST_F(LibsecretKeychainTest, StartUpMovesTheFileStoreIntoTheService) {
    testing::LogCapture log;
    testing::TempDir dir;
    const auto file = dir.path() / "PARLENDO" / "keychain.json";
    {
        KeychainFile earlier(file, KeychainFile::Removals::remember);
        ASSERT_EQ(earlier.add(service, "a", "from-file"), 0);
        ASSERT_EQ(earlier.remove(service, "b"), KeychainStatus::itemNotFound);
    }
    ASSERT_EQ(store.add(service, "b", "from-an-earlier-launch"), 0);
    const auto previous = Keychain::backend();
    Keychain::choose(file, std::make_shared<LibsecretKeychain>());
    const std::string chosen = Keychain::backend()->name();
    const bool leftover = Keychain::leftover() != nullptr;
    Keychain::setBackend(previous);
    EXPECT_EQ(chosen, "secret_service");
    EXPECT_FALSE(leftover);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(store.read(service, "a").value(), "from-file");
    EXPECT_EQ(store.read(service, "b").error(), KeychainStatus::itemNotFound);
}

TEST(LibsecretKeychain, ErrorsSayWhetherTheItemIsAbsentOrTheServiceDidNotAnswer) {
    struct Case {
        GQuark domain;
        int code;
        std::int32_t status;
    };
    for (const auto& c : {
             Case{SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT, KeychainStatus::itemNotFound},
             Case{SECRET_ERROR, SECRET_ERROR_IS_LOCKED, KeychainStatus::interactionNotAllowed},
             Case{SECRET_ERROR, SECRET_ERROR_ALREADY_EXISTS, KeychainStatus::duplicateItem},
             Case{SECRET_ERROR, SECRET_ERROR_PROTOCOL, KeychainStatus::decodeFailure},
             Case{G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN, KeychainStatus::notAvailable},
             Case{G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY, KeychainStatus::notAvailable},
             Case{G_IO_ERROR, G_IO_ERROR_CANCELLED, KeychainStatus::notAvailable},
             Case{G_IO_ERROR, G_IO_ERROR_CLOSED, KeychainStatus::notAvailable},
         }) {
        GError* error = g_error_new_literal(c.domain, c.code, "test");
        EXPECT_EQ(LibsecretKeychain::statusOf(error), c.status)
            << g_quark_to_string(c.domain) << " " << c.code;
        g_error_free(error);
    }
    EXPECT_EQ(LibsecretKeychain::statusOf(nullptr), KeychainStatus::success);
}

// Another program adding and removing items while this one starts must not make the start-up
// believe that there is no Secret Service. Each probe runs in a fresh process, as at start-up.
TEST(LibsecretKeychainProbe, AnswersWhileAnotherProgramChangesItems) {
    if (testing::secretServiceAbsentOnPurpose()) {
        GTEST_SKIP() << "PARLENDO_TEST_NO_SECRET_SERVICE=1: no Secret Service on purpose";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string service = "local.parlendo.mac.test-" + uuid::makeLower();
    for (int run = 0; run < 6; ++run) {
        EXPECT_EXIT(
            {
                std::atomic<bool> stop{false};
                std::atomic<int> rounds{0};
                std::thread churn([&] {
                    LibsecretKeychain other;
                    while (!stop) {
                        other.add(service, "churn", "v");
                        other.remove(service, "churn");
                        ++rounds;
                    }
                });
                while (rounds < 2) {
                    std::this_thread::yield();
                }
                const auto why = LibsecretKeychain::unavailableReason(5.0);
                stop = true;
                churn.join();
                if (why) {
                    std::fprintf(stderr, "probe: %s\n", why->c_str());
                }
                ::_exit(why ? 1 : 0);
            },
            ::testing::ExitedWithCode(0), "")
            << "run " << run;
    }
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

// A keyring that stops answering holds neither the start nor the keychain queue for long: the
// store is chosen on the queue (the file, since the service does not answer the probe in time),
// ahead of the keychain work asked for after it, and each call to the silent service is given up
// at its time-out instead of the bus's 25 seconds.
TEST(KeychainSetup, ASilentKeyringHoldsNeitherTheStartNorTheQueue) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            testing::SilentSecretService silent;
            if (!silent.owned()) {
                std::fprintf(stderr, "no silent service: %s\n", silent.why().c_str());
                ::_exit(2);
            }
            testing::TempDir data;
            ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
            KeychainFile(KeychainFile::defaultPath(), KeychainFile::Removals::remember)
                .add(Keychain::service, KeychainSessionStore::account, "kept");
            const auto started = std::chrono::steady_clock::now();
            const auto seconds = [&] {
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                    .count();
            };
            KeychainSetup::start(1.0);
            if (seconds() > 0.1) {
                ::_exit(3);
            }
            std::promise<std::optional<std::string>> token;
            KeychainSetup::queue()->post(
                [&token] { token.set_value(KeychainSessionStore().loadRefreshToken()); });
            auto read = token.get_future();
            if (read.wait_for(std::chrono::seconds(6)) != std::future_status::ready ||
                read.get() != "kept" || Keychain::backend()->name() != "file") {
                ::_exit(4);
            }
            const auto asked = seconds();
            const auto answer = LibsecretKeychain(1.0).read(Keychain::service, "a");
            std::fprintf(stderr, "silent call answered after %.2f s\n", seconds() - asked);
            ::_exit(!answer && answer.error() == KeychainStatus::notAvailable &&
                            seconds() - asked < 4.0
                        ? 0
                        : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

// A locked keyring (the screen was locked) is not asked to unlock: no prompt blocks the caller,
// every call answers at once that the item cannot be reached now, and nothing is lost.
TEST_F(LibsecretKeychainTest, ALockedKeyringAnswersAtOnceWithoutAPrompt) {
    ASSERT_EQ(store.add(service, "a", "kept"), KeychainStatus::success);
    testing::KeyringLock keyring;
    ASSERT_TRUE(keyring.found());
    ASSERT_TRUE(keyring.lock());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(store.read(service, "a").error(), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(store.update(service, "a", "new"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(store.add(service, "b", "new"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(store.remove(service, "a"), KeychainStatus::interactionNotAllowed);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              3.0);
    ASSERT_TRUE(keyring.unlock());
    EXPECT_EQ(store.read(service, "a").value(), "kept");
    EXPECT_EQ(store.read(service, "b").error(), KeychainStatus::itemNotFound);
}

}  // namespace
}  // namespace parlendo
