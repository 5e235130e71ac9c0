#include "auth/KeychainSessionStore.h"

#include "foundation/Keychain.h"

namespace parlendo {

std::optional<std::string> KeychainSessionStore::loadRefreshToken() {
    return Keychain::get(account);
}

bool KeychainSessionStore::save(const std::string& refreshToken) {
    Keychain::set(refreshToken, account);
    return Keychain::get(account) == refreshToken;
}

bool KeychainSessionStore::clear() {
    Keychain::set(std::nullopt, account);
    return !Keychain::get(account).has_value();
}

}  // namespace parlendo
