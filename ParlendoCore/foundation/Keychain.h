#pragma once

#include "foundation/KeychainWrite.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The program's secrets: text items under one service, one item per account name. The store
// behind them is chosen once at start-up (the desktop's Secret Service, or the file store under
// the state root when none answers); until then the file store is used.
//
// While the Secret Service is in use, the file store of earlier launches may be left over (what
// it held could not all be moved): reads fall back to it, and every write or delete also removes
// the item there, so that nothing stays behind in it and nothing old comes back from it.
namespace Keychain {

inline constexpr const char* service = "local.parlendo.mac";

// What the stores answered about one item: its text, nullopt when the item is known to be
// absent, or the status of a store that did not answer (decodeFailure when the item holds bytes
// that are not UTF-8 text).
using ItemRead = Result<std::optional<std::string>, std::int32_t>;
ItemRead read(const std::string& account);

// The item's text; nullopt when it does not exist, cannot be read or is not valid UTF-8.
std::optional<std::string> get(const std::string& account);

// Writes the item (value present) or deletes it (nullopt; a missing item counts as success).
// On failure logs "저장 실패 account=<account> status=<status>" under "keychain" and answers
// false. The value itself is never logged.
bool set(const std::optional<std::string>& value, const std::string& account);

// Chooses the stores of this launch. With a Secret Service store, whatever the file store at
// `file` holds from launches without one (items, and removals it remembers) moves there and the
// file is deleted; what cannot be moved stays in the file, which becomes the leftover. Without
// one (`secretService` null, `why` telling why), the file store is used and remembers removals.
// A copy that older versions set aside ("<file>.bad") is deleted either way. Logs under
// "keychain".
void choose(const std::filesystem::path& file, std::shared_ptr<KeychainBackend> secretService,
            const std::string& why = "");

// The store in use, and the way to replace it (tests); `leftover` is the file store left beside
// the Secret Service, or null.
std::shared_ptr<KeychainBackend> backend();
std::shared_ptr<KeychainBackend> leftover();
void setBackend(std::shared_ptr<KeychainBackend> backend,
                std::shared_ptr<KeychainBackend> leftover = nullptr);

}  // namespace Keychain
}  // namespace parlendo
