#pragma once

#include "server/AuthTypes.h"

namespace parlendo {

// The refresh token of the signed-in user, kept as the keychain item "refresh_token". Writes are
// read back, so a write that did not take effect answers false. Any thread may call it.
class KeychainSessionStore final : public SessionStore {
  public:
    static constexpr const char* account = "refresh_token";

    std::optional<std::string> loadRefreshToken() override;
    // True only when the token reads back exactly.
    bool save(const std::string& refreshToken) override;
    // True only when every store answers that the item is absent; a store that does not answer
    // leaves the answer false.
    bool clear() override;
};

}  // namespace parlendo
