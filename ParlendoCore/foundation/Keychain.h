#pragma once

#include "foundation/KeychainWrite.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The program's secrets: text items under one service, one item per account name. The store
// behind them is chosen once at start-up (the desktop's Secret Service, or the file store under
// the state root when none answers); until then the file store is used.
namespace Keychain {

inline constexpr const char* service = "local.parlendo.mac";

// The item's text; nullopt when it does not exist, cannot be read or is not valid UTF-8.
std::optional<std::string> get(const std::string& account);

// Writes the item (value present) or deletes it (nullopt; a missing item counts as success).
// On failure logs "저장 실패 account=<account> status=<status>" under "keychain" and answers
// false. The value itself is never logged.
bool set(const std::optional<std::string>& value, const std::string& account);

// The store in use, and the way to replace it (start-up and tests).
std::shared_ptr<KeychainBackend> backend();
void setBackend(std::shared_ptr<KeychainBackend> backend);

}  // namespace Keychain
}  // namespace parlendo
