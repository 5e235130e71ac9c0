#include "popups/ConnectionSettings.h"

#include "foundation/Keychain.h"
#include "foundation/Log.h"
#include "foundation/Text.h"

namespace parlendo {
namespace {

constexpr const char* tag = "connection";

bool isBlank(std::string_view text) {
    return text::trimWhitespaceAndNewlines(text).empty();
}

// Whether the text holds a control character (C0, DEL or C1). A key is sent as a header value,
// where a line break would start a header of its own.
bool hasControlCharacter(std::string_view text) {
    for (char32_t cp : text::toCodePoints(text)) {
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            return true;
        }
    }
    return false;
}

std::string flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::optional<std::string> SecretStore::read(const std::string& account) {
    auto found = lookup(account);
    return found ? std::move(*found) : std::nullopt;
}

Keychain::ItemRead KeychainSecretStore::lookup(const std::string& account) {
    return Keychain::read(account);
}

bool KeychainSecretStore::write(const std::string& value, const std::string& account) {
    return Keychain::set(value, account);
}

bool KeychainSecretStore::remove(const std::string& account) {
    return Keychain::set(std::nullopt, account);
}

std::optional<std::string> OptionalCredentials::secret() const {
    auto key = store_->read(account);
    if (!key || isBlank(*key)) {
        return std::nullopt;
    }
    return key;
}

ConnectionSettings::ConnectionSettings(std::shared_ptr<SecretStore> store,
                                       std::shared_ptr<SessionProviding> session)
    : store_(std::move(store)), credentials_(store_), session_(std::move(session)) {}

std::optional<std::string> ConnectionSettings::secret() const {
    auto userID = session_->userID();
    if (!userID) {
        return std::nullopt;
    }
    if (store_->read(ownerAccount) != userID) {
        return std::nullopt;
    }
    return credentials_.secret();
}

Json ConnectionSettings::status() const {
    bool configured = secret().has_value();
    std::optional<std::string> error;
    {
        std::lock_guard lock(mutex_);
        error = lastError_;
    }
    Json customAI = Json::object();
    customAI["provider"] = provider;
    customAI["configured"] = configured;
    customAI["available"] = configured && !error;
    customAI["source"] = configured ? "keychain" : "absent";
    customAI["error_code"] = error ? Json(*error) : Json(nullptr);
    customAI["validation"] = "NOT_NETWORK_VALIDATED";
    customAI["environment_restart_required"] = false;
    customAI["keyring_backend"] = store_->backendName();

    Json out = Json::object();
    out["custom_ai"] = std::move(customAI);
    out["translation"] = {
        {"status", "unavailable"}, {"available", false}, {"requires_user_key", false}};
    out["translation_observation"] =
        "No current server capability response; not probed by Settings";
    return out;
}

Json ConnectionSettings::withStorageResult() const {
    Json out = status();
    out["storage_result"] = {{"ok", true}, {"storage_verified", true}, {"worker_effective", true}};
    out["transition"] = nullptr;
    return out;
}

std::optional<Json> ConnectionSettings::set(const std::string& providerName,
                                            const std::string& value) {
    std::string trimmed(text::trimWhitespaceAndNewlines(value));
    auto userID = session_->userID();
    if (providerName != provider || trimmed.empty() || text::characterCount(trimmed) > maxLength ||
        hasControlCharacter(trimmed) || !userID) {
        Log::write(tag, "키 저장 거절 reason=invalid_input len=" +
                            std::to_string(text::characterCount(value)));
        return std::nullopt;
    }
    store_->write(*userID, ownerAccount);
    store_->write(trimmed, OptionalCredentials::account);
    bool verified = store_->read(OptionalCredentials::account) == trimmed &&
                    store_->read(ownerAccount) == userID;
    if (!verified) {
        // The key item may still hold an older key: never leave it bound to this user.
        store_->remove(ownerAccount);
    }
    {
        std::lock_guard lock(mutex_);
        lastError_ = verified ? std::nullopt : std::optional<std::string>(ErrorCode::writeFailed);
    }
    Log::write(tag, "키 저장 verified=" + flag(verified) +
                        " len=" + std::to_string(text::characterCount(trimmed)));
    if (!verified) {
        return std::nullopt;
    }
    return withStorageResult();
}

std::optional<Json> ConnectionSettings::remove(const std::string& providerName) {
    if (providerName != provider) {
        return std::nullopt;
    }
    bool ok = wipeStored(*store_);
    {
        std::lock_guard lock(mutex_);
        lastError_ = ok ? std::nullopt : std::optional<std::string>(ErrorCode::deleteFailed);
    }
    Log::write(tag, "키 삭제 verified=" + flag(ok));
    if (!ok) {
        return std::nullopt;
    }
    return withStorageResult();
}

bool ConnectionSettings::accountChanged() {
    const auto owner = store_->lookup(ownerAccount);
    const auto key = store_->lookup(OptionalCredentials::account);
    // A store that did not answer may still hold a key: only known absence ends here.
    if (owner && key && !owner->has_value() && !key->has_value()) {
        return false;
    }
    auto userID = session_->userID();
    if (userID && owner && *owner == userID) {
        return false;
    }
    bool ok = wipeStored(*store_);
    {
        std::lock_guard lock(mutex_);
        lastError_ = ok ? std::nullopt : std::optional<std::string>(ErrorCode::deleteFailed);
    }
    Log::write(tag, "계정이 바뀌어 키를 지움 verified=" + flag(ok));
    return true;
}

bool ConnectionSettings::wipeStored(SecretStore& store) {
    store.remove(OptionalCredentials::account);
    store.remove(ownerAccount);
    const auto key = store.lookup(OptionalCredentials::account);
    if (!key || key->has_value()) {
        return false;
    }
    const auto owner = store.lookup(ownerAccount);
    return owner && !owner->has_value();
}

}  // namespace parlendo
