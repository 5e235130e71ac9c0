#include "auth/KeychainSessionStore.h"

#include "foundation/Keychain.h"

namespace parlendo {

std::optional<std::string> KeychainSessionStore::loadRefreshToken() {
    return Keychain::get(account);
}

bool KeychainSessionStore::save(const std::string& refreshToken) {
    Keychain::set(refreshToken, account);
    const auto stored = Keychain::read(account);
    return stored && *stored == refreshToken;
}

bool KeychainSessionStore::clear() {
    Keychain::set(std::nullopt, account);
    const auto stored = Keychain::read(account);
    return stored && !stored->has_value();
}

}  // namespace parlendo
