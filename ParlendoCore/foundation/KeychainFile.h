#pragma once

#include "foundation/KeychainWrite.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

namespace parlendo {

// Keychain items in one JSON file readable by the user alone (mode 0600), for desktops where no
// Secret Service answers. Every change rewrites the whole file through a temporary file and a
// rename, so the file on disk is always either the old or the new content. A file that cannot be
// parsed reads as a failure and is moved aside to "<name>.bad" by the next write, not overwritten.
//
// File: {"items":{"<service>":{"<account>":"<Base64 of the bytes>"}},"version":1}
class KeychainFile final : public KeychainBackend {
  public:
    explicit KeychainFile(std::filesystem::path path);

    // keychain.json under the state root.
    static std::filesystem::path defaultPath();

    Result<std::string, std::int32_t> read(const std::string& service,
                                           const std::string& account) override;
    std::int32_t update(const std::string& service, const std::string& account,
                        const std::string& data) override;
    std::int32_t add(const std::string& service, const std::string& account,
                     const std::string& data) override;
    std::int32_t remove(const std::string& service, const std::string& account) override;
    std::string name() const override { return "file"; }

    const std::filesystem::path& path() const { return path_; }

  private:
    using Key = std::pair<std::string, std::string>;  // (service, account)
    using Items = std::map<Key, std::string>;

    Result<Items, std::int32_t> loadLocked() const;
    // Loads for a change: an unparsable file is moved aside and counts as empty.
    Result<Items, std::int32_t> loadForWriteLocked();
    std::int32_t storeLocked(const Items& items);

    std::filesystem::path path_;
    std::mutex mutex_;
};

}  // namespace parlendo
