#include "foundation/Keychain.h"

#include "foundation/KeychainFile.h"
#include "foundation/Log.h"
#include "foundation/Text.h"

#include <mutex>
#include <utility>

namespace parlendo::Keychain {

namespace {

std::mutex backendMutex;
std::shared_ptr<KeychainBackend> current;
std::shared_ptr<KeychainBackend> leftBehind;

std::pair<std::shared_ptr<KeychainBackend>, std::shared_ptr<KeychainBackend>> stores() {
    std::lock_guard lock(backendMutex);
    if (!current) {
        current = std::make_shared<KeychainFile>(KeychainFile::defaultPath(),
                                                 KeychainFile::Removals::remember);
    }
    return {current, leftBehind};
}

ItemRead readFrom(KeychainBackend& store, const std::string& account) {
    auto data = store.read(service, account);
    if (!data) {
        if (data.error() == KeychainStatus::itemNotFound) {
            return std::optional<std::string>();
        }
        return fail(data.error());
    }
    if (!text::isValidUtf8(*data)) {
        return fail(KeychainStatus::decodeFailure);
    }
    return std::optional<std::string>(std::move(*data));
}

// Older versions moved an unparsable secrets file aside instead of deleting it.
void removeSetAsideCopy(const std::filesystem::path& file) {
    const std::filesystem::path copy = file.string() + ".bad";
    std::error_code ec;
    if (std::filesystem::remove(copy, ec)) {
        Log::write("keychain", "치워 둔 비밀 파일을 지움 path=" + copy.string());
    } else if (ec) {
        Log::write("keychain", "🔴 치워 둔 비밀 파일을 지우지 못함 path=" + copy.string() + " " +
                                   Log::describe(ec));
    }
}

}  // namespace

std::shared_ptr<KeychainBackend> backend() {
    return stores().first;
}

std::shared_ptr<KeychainBackend> leftover() {
    return stores().second;
}

void setBackend(std::shared_ptr<KeychainBackend> replacement,
                std::shared_ptr<KeychainBackend> left) {
    std::lock_guard lock(backendMutex);
    current = std::move(replacement);
    leftBehind = std::move(left);
}

void choose(const std::filesystem::path& file, std::shared_ptr<KeychainBackend> secretService,
            const std::string& why) {
    removeSetAsideCopy(file);
    if (!secretService) {
        setBackend(std::make_shared<KeychainFile>(file, KeychainFile::Removals::remember));
        Log::write("keychain", "Secret Service 를 쓸 수 없어 파일에 보관한다 path=" +
                                   file.string() + " reason=" + why);
        return;
    }
    auto fileStore = std::make_shared<KeychainFile>(file, KeychainFile::Removals::forget);
    const auto moved = fileStore->moveInto(secretService);
    if (moved && moved->failures == 0) {
        setBackend(std::move(secretService));
        if (moved->items > 0 || moved->removals > 0 || moved->unreadable) {
            Log::write("keychain", "파일의 비밀을 Secret Service 로 옮기고 파일을 지움 items=" +
                                       std::to_string(moved->items) +
                                       " removals=" + std::to_string(moved->removals) +
                                       (moved->unreadable ? " unreadable=true" : ""));
        }
        return;
    }
    setBackend(std::move(secretService), fileStore);
    Log::write("keychain", "🔴 파일의 비밀을 Secret Service 로 다 옮기지 못해 파일을 남김 path=" +
                               file.string() +
                               (moved ? " items=" + std::to_string(moved->items) +
                                            " failures=" + std::to_string(moved->failures)
                                      : " status=" + std::to_string(moved.error())));
}

ItemRead read(const std::string& account) {
    const auto [primary, left] = stores();
    auto found = readFrom(*primary, account);
    if (!found || found->has_value() || !left) {
        return found;
    }
    return readFrom(*left, account);
}

std::optional<std::string> get(const std::string& account) {
    auto found = read(account);
    return found ? std::move(*found) : std::nullopt;
}

bool set(const std::optional<std::string>& value, const std::string& account) {
    const auto [primary, left] = stores();
    std::int32_t status =
        KeychainWrite::run(value, KeychainWrite::Ops::forBackend(primary, service, account));
    // A failed write keeps the old value where it is; a delete clears every store it can.
    if (left && (status == KeychainStatus::success || !value)) {
        const std::int32_t leftStatus = KeychainWrite::run(
            std::nullopt, KeychainWrite::Ops::forBackend(left, service, account));
        if (status == KeychainStatus::success) {
            status = leftStatus;
        }
    }
    if (status == KeychainStatus::success) {
        return true;
    }
    Log::write("keychain", "저장 실패 account=" + account + " status=" + std::to_string(status));
    return false;
}

}  // namespace parlendo::Keychain
