#include "foundation/KeychainFile.h"

#include "foundation/Base64.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace parlendo {

namespace {

constexpr int kVersion = 1;

}  // namespace

KeychainFile::KeychainFile(std::filesystem::path path, Removals removals)
    : path_(std::move(path)), removals_(removals) {}

std::filesystem::path KeychainFile::defaultPath() {
    return RuntimePaths::stateRoot() / "keychain.json";
}

Result<KeychainFile::Contents, std::int32_t> KeychainFile::loadLocked() const {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) {
        if (ec) {
            return fail(KeychainStatus::ioFailure);
        }
        return Contents{};
    }
    const auto text = fileio::readFile(path_);
    if (!text) {
        return fail(KeychainStatus::ioFailure);
    }
    const auto document = json::parse(*text);
    if (!document || json::integer(*document, "version") != kVersion) {
        return fail(KeychainStatus::decodeFailure);
    }
    const Json* services = json::object(*document, "items");
    if (services == nullptr) {
        return fail(KeychainStatus::decodeFailure);
    }
    Contents contents;
    for (const auto& [service, accounts] : services->items()) {
        if (!accounts.is_object()) {
            return fail(KeychainStatus::decodeFailure);
        }
        for (const auto& [account, encoded] : accounts.items()) {
            const auto bytes =
                encoded.is_string() ? Base64::decode(encoded.get<std::string>()) : std::nullopt;
            if (!bytes) {
                return fail(KeychainStatus::decodeFailure);
            }
            contents.items[{service, account}] = *bytes;
        }
    }
    if (document->contains("removed")) {
        const Json* removed = json::object(*document, "removed");
        if (removed == nullptr) {
            return fail(KeychainStatus::decodeFailure);
        }
        for (const auto& [service, accounts] : removed->items()) {
            if (!accounts.is_array()) {
                return fail(KeychainStatus::decodeFailure);
            }
            for (const auto& account : accounts) {
                if (!account.is_string()) {
                    return fail(KeychainStatus::decodeFailure);
                }
                contents.removed.insert({service, account.get<std::string>()});
            }
        }
    }
    return contents;
}

Result<KeychainFile::Contents, std::int32_t> KeychainFile::loadForWriteLocked() {
    auto contents = loadLocked();
    if (!contents && contents.error() == KeychainStatus::decodeFailure) {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        if (ec) {
            return fail(KeychainStatus::ioFailure);
        }
        Log::write("keychain", "🔴 읽을 수 없는 비밀 파일을 지움 path=" + path_.string());
        return Contents{};
    }
    return contents;
}

std::int32_t KeychainFile::storeLocked(const Contents& contents) {
    Json services = Json::object();
    for (const auto& [key, bytes] : contents.items) {
        services[key.first][key.second] = Base64::encode(bytes);
    }
    Json document{{"items", services}, {"version", kVersion}};
    if (!contents.removed.empty()) {
        Json removed = Json::object();
        for (const auto& [service, account] : contents.removed) {
            removed[service].push_back(account);
        }
        document["removed"] = std::move(removed);
    }
    const auto text = json::dump(document);
    if (!text) {
        return KeychainStatus::ioFailure;
    }
    if (fileio::writeAtomically(path_, *text)) {
        return KeychainStatus::ioFailure;
    }
    return KeychainStatus::success;
}

Result<std::string, std::int32_t> KeychainFile::read(const std::string& service,
                                                     const std::string& account) {
    std::lock_guard lock(mutex_);
    auto contents = loadLocked();
    if (!contents) {
        return fail(contents.error());
    }
    const auto it = contents->items.find({service, account});
    if (it == contents->items.end()) {
        return fail(KeychainStatus::itemNotFound);
    }
    return it->second;
}

std::int32_t KeychainFile::update(const std::string& service, const std::string& account,
                                  const std::string& data) {
    std::lock_guard lock(mutex_);
    auto contents = loadForWriteLocked();
    if (!contents) {
        return contents.error();
    }
    const auto it = contents->items.find({service, account});
    if (it == contents->items.end()) {
        return KeychainStatus::itemNotFound;
    }
    it->second = data;
    contents->removed.erase({service, account});
    return storeLocked(*contents);
}

std::int32_t KeychainFile::add(const std::string& service, const std::string& account,
                               const std::string& data) {
    std::lock_guard lock(mutex_);
    auto contents = loadForWriteLocked();
    if (!contents) {
        return contents.error();
    }
    if (!contents->items.emplace(Key{service, account}, data).second) {
        return KeychainStatus::duplicateItem;
    }
    contents->removed.erase({service, account});
    return storeLocked(*contents);
}

std::int32_t KeychainFile::remove(const std::string& service, const std::string& account) {
    std::lock_guard lock(mutex_);
    auto contents = loadForWriteLocked();
    if (!contents) {
        return contents.error();
    }
    const Key key{service, account};
    const bool existed = contents->items.erase(key) > 0;
    const bool changedRemovals = removals_ == Removals::remember
                                     ? contents->removed.insert(key).second
                                     : contents->removed.erase(key) > 0;
    if (existed || changedRemovals) {
        if (const std::int32_t status = storeLocked(*contents); status != KeychainStatus::success) {
            return status;
        }
    }
    return existed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

Result<KeychainFile::Contents, std::int32_t> KeychainFile::contents() {
    std::lock_guard lock(mutex_);
    return loadLocked();
}

std::int32_t KeychainFile::discard() {
    std::lock_guard lock(mutex_);
    return discardLocked();
}

std::int32_t KeychainFile::discardLocked() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    return ec ? KeychainStatus::ioFailure : KeychainStatus::success;
}

Result<KeychainFile::Moved, std::int32_t> KeychainFile::moveInto(
    const std::shared_ptr<KeychainBackend>& target) {
    std::lock_guard lock(mutex_);
    Moved moved;
    auto contents = loadLocked();
    if (!contents) {
        if (contents.error() != KeychainStatus::decodeFailure) {
            return fail(contents.error());
        }
        moved.unreadable = true;
        contents = Contents{};
    }
    for (const auto& [service, account] : contents->removed) {
        const std::int32_t status = target->remove(service, account);
        if (status == KeychainStatus::success || status == KeychainStatus::itemNotFound) {
            ++moved.removals;
        } else {
            ++moved.failures;
        }
    }
    for (const auto& [key, bytes] : contents->items) {
        const auto& [service, account] = key;
        KeychainWrite::run(bytes, KeychainWrite::Ops::forBackend(target, service, account));
        const auto stored = target->read(service, account);
        if (stored && *stored == bytes) {
            ++moved.items;
        } else {
            ++moved.failures;
        }
    }
    if (moved.failures == 0) {
        if (const std::int32_t status = discardLocked(); status != KeychainStatus::success) {
            return fail(status);
        }
    }
    return moved;
}

}  // namespace parlendo
