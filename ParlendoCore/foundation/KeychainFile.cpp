#include "foundation/KeychainFile.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/RuntimePaths.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>

namespace parlendo {

namespace {

constexpr int kVersion = 1;

std::string encodeBase64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::optional<std::string> decodeBase64(const std::string& text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    if (text.empty()) {
        return std::string();
    }
    std::string out(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    size_t padding = 0;
    for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) {
        ++padding;
    }
    if (padding > 2) {
        return std::nullopt;
    }
    out.resize(static_cast<size_t>(n) - padding);
    return out;
}

}  // namespace

KeychainFile::KeychainFile(std::filesystem::path path) : path_(std::move(path)) {}

std::filesystem::path KeychainFile::defaultPath() {
    return RuntimePaths::stateRoot() / "keychain.json";
}

Result<KeychainFile::Items, std::int32_t> KeychainFile::loadLocked() const {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) {
        if (ec) {
            return fail(KeychainStatus::ioFailure);
        }
        return Items{};
    }
    const auto contents = fileio::readFile(path_);
    if (!contents) {
        return fail(KeychainStatus::ioFailure);
    }
    const auto document = json::parse(*contents);
    if (!document || json::integer(*document, "version") != kVersion) {
        return fail(KeychainStatus::decodeFailure);
    }
    const Json* services = json::object(*document, "items");
    if (services == nullptr) {
        return fail(KeychainStatus::decodeFailure);
    }
    Items items;
    for (const auto& [service, accounts] : services->items()) {
        if (!accounts.is_object()) {
            return fail(KeychainStatus::decodeFailure);
        }
        for (const auto& [account, encoded] : accounts.items()) {
            const auto bytes =
                encoded.is_string() ? decodeBase64(encoded.get<std::string>()) : std::nullopt;
            if (!bytes) {
                return fail(KeychainStatus::decodeFailure);
            }
            items[{service, account}] = *bytes;
        }
    }
    return items;
}

Result<KeychainFile::Items, std::int32_t> KeychainFile::loadForWriteLocked() {
    auto items = loadLocked();
    if (!items && items.error() == KeychainStatus::decodeFailure) {
        std::error_code ec;
        std::filesystem::rename(path_, path_.string() + ".bad", ec);
        if (ec) {
            return fail(KeychainStatus::ioFailure);
        }
        return Items{};
    }
    return items;
}

std::int32_t KeychainFile::storeLocked(const Items& items) {
    Json services = Json::object();
    for (const auto& [key, bytes] : items) {
        services[key.first][key.second] = encodeBase64(bytes);
    }
    const auto text = json::dump(Json{{"items", services}, {"version", kVersion}});
    if (!text) {
        return KeychainStatus::ioFailure;
    }
    if (fileio::writeAtomically(path_, *text, 0600)) {
        return KeychainStatus::ioFailure;
    }
    return KeychainStatus::success;
}

Result<std::string, std::int32_t> KeychainFile::read(const std::string& service,
                                                     const std::string& account) {
    std::lock_guard lock(mutex_);
    auto items = loadLocked();
    if (!items) {
        return fail(items.error());
    }
    const auto it = items->find({service, account});
    if (it == items->end()) {
        return fail(KeychainStatus::itemNotFound);
    }
    return it->second;
}

std::int32_t KeychainFile::update(const std::string& service, const std::string& account,
                                  const std::string& data) {
    std::lock_guard lock(mutex_);
    auto items = loadForWriteLocked();
    if (!items) {
        return items.error();
    }
    const auto it = items->find({service, account});
    if (it == items->end()) {
        return KeychainStatus::itemNotFound;
    }
    it->second = data;
    return storeLocked(*items);
}

std::int32_t KeychainFile::add(const std::string& service, const std::string& account,
                               const std::string& data) {
    std::lock_guard lock(mutex_);
    auto items = loadForWriteLocked();
    if (!items) {
        return items.error();
    }
    if (!items->emplace(Key{service, account}, data).second) {
        return KeychainStatus::duplicateItem;
    }
    return storeLocked(*items);
}

std::int32_t KeychainFile::remove(const std::string& service, const std::string& account) {
    std::lock_guard lock(mutex_);
    auto items = loadForWriteLocked();
    if (!items) {
        return items.error();
    }
    if (items->erase({service, account}) == 0) {
        return KeychainStatus::itemNotFound;
    }
    return storeLocked(*items);
}

}  // namespace parlendo
