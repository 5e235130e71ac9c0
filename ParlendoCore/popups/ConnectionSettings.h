#pragma once

#include "foundation/Json.h"
#include "foundation/Keychain.h"
#include "server/AuthTypes.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace parlendo {

// A small store of secret texts by account name. Called from any thread.
class SecretStore {
  public:
    virtual ~SecretStore() = default;
    // A label for the storage back end.
    virtual std::string backendName() const = 0;
    // The item's text, nullopt when the store says it is absent, or the status of a store that
    // did not answer.
    virtual Keychain::ItemRead lookup(const std::string& account) = 0;
    virtual bool write(const std::string& value, const std::string& account) = 0;
    // True also when the item was already absent.
    virtual bool remove(const std::string& account) = 0;

    // The item's text; none when absent or unreadable.
    std::optional<std::string> read(const std::string& account);
};

// The program's keychain (Keychain::read and Keychain::set).
class KeychainSecretStore final : public SecretStore {
  public:
    std::string backendName() const override { return "macOS_Keychain"; }
    Keychain::ItemRead lookup(const std::string& account) override;
    bool write(const std::string& value, const std::string& account) override;
    bool remove(const std::string& account) override;
};

// Reads the optional AI key item.
class OptionalCredentials {
  public:
    static constexpr const char* account = "optional_custom_ai_key";

    explicit OptionalCredentials(std::shared_ptr<SecretStore> store) : store_(std::move(store)) {}

    // The stored key, untrimmed, when present and not blank.
    std::optional<std::string> secret() const;

  private:
    std::shared_ptr<SecretStore> store_;
};

// The user's optional key for the generative-language API: stored in the keychain, bound to the
// user id of the account that stored it (returned only while that account is signed in), every
// write verified by reading it back, and its state reported as the manage window shows it.
// Synchronous; called from any thread. The lock guards `lastError` only.
class ConnectionSettings {
  public:
    static constexpr const char* provider = "customAI";
    static constexpr size_t maxLength = 8192;  // characters after trimming
    static constexpr const char* ownerAccount = "optional_custom_ai_key_owner";

    struct ErrorCode {
        static constexpr const char* writeFailed = "CREDENTIAL_WRITE_FAILED";
        static constexpr const char* deleteFailed = "CREDENTIAL_DELETE_FAILED";
    };

    ConnectionSettings(std::shared_ptr<SecretStore> store,
                       std::shared_ptr<SessionProviding> session);

    // The key for the signed-in user; none when nobody is signed in or the key is not theirs.
    std::optional<std::string> secret() const;

    // {"custom_ai": {...}, "translation": {...}, "translation_observation": "..."}.
    Json status() const;

    // Stores a key for the signed-in user; none when refused or not verified.
    std::optional<Json> set(const std::string& provider, const std::string& value);

    // Removes the key; none for another provider or when the removal is not verified.
    std::optional<Json> remove(const std::string& provider);

    // Drops a key that does not belong to the signed-in user; true when it dropped one.
    bool accountChanged();

    // Removes the key and owner items; true only when the store answers that both are absent.
    static bool wipeStored(SecretStore& store);

  private:
    Json withStorageResult() const;

    std::shared_ptr<SecretStore> store_;
    OptionalCredentials credentials_;
    std::shared_ptr<SessionProviding> session_;
    mutable std::mutex mutex_;
    std::optional<std::string> lastError_;
};

}  // namespace parlendo
