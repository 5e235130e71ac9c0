#include "foundation/Keychain.h"

#include "foundation/KeychainFile.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"
#include "foundation/Text.h"

#include <mutex>

namespace parlendo::Keychain {

namespace {
std::mutex backendMutex;
std::shared_ptr<KeychainBackend> current;
}  // namespace

std::shared_ptr<KeychainBackend> backend() {
    std::lock_guard lock(backendMutex);
    if (!current) {
        current = std::make_shared<KeychainFile>(KeychainFile::defaultPath());
    }
    return current;
}

void setBackend(std::shared_ptr<KeychainBackend> replacement) {
    std::lock_guard lock(backendMutex);
    current = std::move(replacement);
}

std::optional<std::string> get(const std::string& account) {
    auto data = backend()->read(service, account);
    if (!data || !text::isValidUtf8(*data)) {
        return std::nullopt;
    }
    return std::move(*data);
}

bool set(const std::optional<std::string>& value, const std::string& account) {
    const std::int32_t status =
        KeychainWrite::run(value, KeychainWrite::Ops::forBackend(backend(), service, account));
    if (status == KeychainStatus::success) {
        return true;
    }
    Log::write("keychain", "저장 실패 account=" + account + " status=" + std::to_string(status));
    return false;
}

}  // namespace parlendo::Keychain
