#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "popups/ConnectionSettings.h"

namespace parlendo {
namespace {

using testing::FakeSecretStore;
using testing::FakeSession;

constexpr const char* keyItem = "optional_custom_ai_key";
constexpr const char* ownerItem = "optional_custom_ai_key_owner";

class ConnectionSettingsTest : public ::testing::Test {
  protected:
    ConnectionSettingsTest()
        : store_(std::make_shared<FakeSecretStore>()),
          session_(std::make_shared<FakeSession>("A")),
          settings_(store_, session_) {}

    testing::LogCapture log_;
    std::shared_ptr<FakeSecretStore> store_;
    std::shared_ptr<FakeSession> session_;
    ConnectionSettings settings_;
};

TEST_F(ConnectionSettingsTest, StoresTrimmedKeyBoundToTheUser) {
    auto result = settings_.set("customAI", "  abc\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(store_->items[keyItem], "abc");
    EXPECT_EQ(store_->items[ownerItem], "A");
    EXPECT_EQ(settings_.secret(), "abc");
    EXPECT_EQ((*result)["storage_result"],
              (Json{{"ok", true}, {"storage_verified", true}, {"worker_effective", true}}));
    EXPECT_TRUE((*result)["transition"].is_null());
    EXPECT_EQ((*result)["custom_ai"], (Json{{"provider", "customAI"},
                                            {"configured", true},
                                            {"available", true},
                                            {"source", "keychain"},
                                            {"error_code", nullptr},
                                            {"validation", "NOT_NETWORK_VALIDATED"},
                                            {"environment_restart_required", false},
                                            {"keyring_backend", "memory"}}));
    EXPECT_EQ(log_.messages("connection"), std::vector<std::string>{"키 저장 verified=true len=3"});

    // Another user does not get it, and switching to them removes it.
    session_->setUser("B");
    EXPECT_EQ(settings_.secret(), std::nullopt);
    EXPECT_EQ(settings_.status()["custom_ai"]["configured"], false);
    EXPECT_TRUE(settings_.accountChanged());
    EXPECT_TRUE(store_->items.empty());
    EXPECT_FALSE(settings_.accountChanged());
}

TEST_F(ConnectionSettingsTest, RefusesInvalidInputWithoutTouchingTheError) {
    EXPECT_FALSE(settings_.set("customai", "abc"));
    EXPECT_FALSE(settings_.set("customAI", " \n "));
    std::string limit(8192, 'k');
    EXPECT_TRUE(settings_.set("customAI", " " + limit + " "));
    EXPECT_FALSE(settings_.set("customAI", limit + "k"));
    session_->setUser(std::nullopt);
    EXPECT_FALSE(settings_.set("customAI", "abc"));
    auto lines = log_.messages("connection");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "키 저장 거절 reason=invalid_input len=3");
    EXPECT_EQ(lines[2], "키 저장 verified=true len=8192");
    EXPECT_EQ(lines[3], "키 저장 거절 reason=invalid_input len=8193");
    EXPECT_EQ(store_->items[keyItem], limit);
    EXPECT_TRUE(settings_.status()["custom_ai"]["error_code"].is_null());
}

TEST_F(ConnectionSettingsTest, RefusesKeysThatHoldControlCharacters) {
    // The key goes out as a header value: a line break inside it would start a header of its own.
    const std::vector<std::string> keys{"abc\r\nX-Injected: 1",
                                        "ab\ncd",
                                        std::string("ab\0cd", 5),
                                        "ab\tcd",
                                        "ab\x7f"
                                        "cd",
                                        "ab\xc2\x85"
                                        "cd"};
    for (const auto& key : keys) {
        EXPECT_FALSE(settings_.set("customAI", " " + key + " ")) << key;
    }
    EXPECT_TRUE(store_->items.empty());
    EXPECT_EQ(log_.count("connection", "키 저장 거절 reason=invalid_input"), 6u);
    // Only the ends are trimmed; blanks and letters of any script inside stay.
    ASSERT_TRUE(settings_.set("customAI", "\tAIza key-한글\r\n"));
    EXPECT_EQ(store_->items[keyItem], "AIza key-한글");
}

TEST_F(ConnectionSettingsTest, UnverifiedWriteNeverBindsAnOldKey) {
    ASSERT_TRUE(settings_.set("customAI", "old-key"));
    // B signs in on a machine where A's key is still stored (the account change was missed) and
    // the key write fails silently.
    session_->setUser("B");
    store_->failWrites.insert(keyItem);
    EXPECT_FALSE(settings_.set("customAI", "new-key"));
    EXPECT_EQ(store_->items.count(ownerItem), 0u);
    EXPECT_EQ(settings_.secret(), std::nullopt);
    auto status = settings_.status()["custom_ai"];
    EXPECT_EQ(status["error_code"], "CREDENTIAL_WRITE_FAILED");
    EXPECT_EQ(status["available"], false);
    EXPECT_EQ(log_.messages("connection").back(), "키 저장 verified=false len=7");

    // A later good write clears the error.
    store_->failWrites.clear();
    ASSERT_TRUE(settings_.set("customAI", "new-key"));
    EXPECT_EQ(settings_.status()["custom_ai"]["available"], true);
}

TEST_F(ConnectionSettingsTest, RemoveAndWipe) {
    EXPECT_FALSE(settings_.remove("other"));
    auto empty = settings_.remove("customAI");  // nothing stored: still success
    ASSERT_TRUE(empty);
    EXPECT_EQ((*empty)["custom_ai"]["source"], "absent");

    ASSERT_TRUE(settings_.set("customAI", "k"));
    store_->failRemoves.insert(ownerItem);
    EXPECT_FALSE(settings_.remove("customAI"));
    EXPECT_EQ(settings_.status()["custom_ai"]["error_code"], "CREDENTIAL_DELETE_FAILED");
    EXPECT_EQ(log_.messages("connection").back(), "키 삭제 verified=false");
    store_->failRemoves.clear();
    EXPECT_TRUE(ConnectionSettings::wipeStored(*store_));
    EXPECT_TRUE(store_->items.empty());
}

TEST_F(ConnectionSettingsTest, AStoreThatDoesNotAnswerIsNeverReportedAsCleared) {
    ASSERT_TRUE(settings_.set("customAI", "k"));
    // The removal "succeeds" but the read-back gets no answer: the key may still be there.
    store_->failReads.insert(keyItem);
    store_->failRemoves.insert(keyItem);
    EXPECT_FALSE(ConnectionSettings::wipeStored(*store_));
    EXPECT_FALSE(settings_.remove("customAI"));
    EXPECT_EQ(settings_.status()["custom_ai"]["error_code"], "CREDENTIAL_DELETE_FAILED");

    // An account change that cannot read the items still tries to remove them, and says so when
    // that cannot be confirmed.
    store_->items[keyItem] = "k";
    store_->items[ownerItem] = "A";
    store_->failReads.insert(ownerItem);
    session_->setUser("B");
    EXPECT_TRUE(settings_.accountChanged());
    EXPECT_EQ(store_->items.count(ownerItem), 0u);
    EXPECT_EQ(log_.messages("connection").back(), "계정이 바뀌어 키를 지움 verified=false");
    EXPECT_EQ(settings_.status()["custom_ai"]["error_code"], "CREDENTIAL_DELETE_FAILED");

    // Once the store answers again, the next change finishes the job and clears the error.
    store_->failReads.clear();
    store_->failRemoves.clear();
    EXPECT_TRUE(settings_.accountChanged());
    EXPECT_TRUE(store_->items.empty());
    EXPECT_TRUE(settings_.status()["custom_ai"]["error_code"].is_null());
}

TEST_F(ConnectionSettingsTest, UnboundOrBlankKeysAreNotUsed) {
    store_->items[keyItem] = "orphan";
    EXPECT_EQ(settings_.secret(), std::nullopt);
    EXPECT_TRUE(settings_.accountChanged());
    EXPECT_TRUE(store_->items.empty());
    EXPECT_EQ(log_.messages("connection").back(), "계정이 바뀌어 키를 지움 verified=true");

    store_->items[keyItem] = " \t";
    store_->items[ownerItem] = "A";
    EXPECT_EQ(settings_.secret(), std::nullopt);
    EXPECT_FALSE(settings_.accountChanged());  // still A's item

    // Signing out removes a stored key.
    store_->items[keyItem] = "k";
    session_->setUser(std::nullopt);
    EXPECT_TRUE(settings_.accountChanged());
    EXPECT_TRUE(store_->items.empty());

    Json status = settings_.status();
    EXPECT_EQ(
        status["translation"],
        (Json{{"status", "unavailable"}, {"available", false}, {"requires_user_key", false}}));
    EXPECT_EQ(status["translation_observation"],
              "No current server capability response; not probed by Settings");
}

}  // namespace
}  // namespace parlendo
