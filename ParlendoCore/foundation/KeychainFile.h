#pragma once

#include "foundation/KeychainWrite.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace parlendo {

// Keychain items in one JSON file readable by the user alone (mode 0600), for desktops where no
// Secret Service answers. Every change rewrites the whole file through a temporary file and a
// rename, so the file on disk is always either the old or the new content. A file that cannot be
// parsed reads as a failure; the next change deletes it (its secrets cannot be read, and no copy
// of a secrets file is kept anywhere).
//
// While the file is the store in use (no Secret Service answered at start-up), it also remembers
// every removal: the Secret Service may still hold the item from an earlier launch, and the next
// launch that finds the service removes it there before anything else moves over.
//
// File: {"items":{"<service>":{"<account>":"<Base64 of the bytes>"}},
//        "removed":{"<service>":["<account>", ...]},"version":1}
class KeychainFile final : public KeychainBackend {
  public:
    using Key = std::pair<std::string, std::string>;  // (service, account)

    enum class Removals {
        forget,    // a removal leaves no trace (the file left over beside the Secret Service)
        remember,  // a removal is remembered until the item is written again
    };

    struct Contents {
        std::map<Key, std::string> items;
        std::set<Key> removed;
    };

    explicit KeychainFile(std::filesystem::path path, Removals removals = Removals::forget);

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

    // Everything the file holds (empty when there is no file); decodeFailure when it cannot be
    // parsed.
    Result<Contents, std::int32_t> contents();
    // Deletes the file; success also when there was none.
    std::int32_t discard();

    struct Moved {
        int items = 0;            // items written to the target and read back
        int removals = 0;         // remembered removals carried out in the target
        int failures = 0;         // items or removals the target did not take
        bool unreadable = false;  // the file could not be parsed and was deleted
    };
    // Moves everything the file holds into `target` and then deletes the file; when anything
    // failed the file is kept, whole, for the next try. A failure status when the file could not
    // be read or deleted.
    Result<Moved, std::int32_t> moveInto(const std::shared_ptr<KeychainBackend>& target);

    const std::filesystem::path& path() const { return path_; }

  private:
    Result<Contents, std::int32_t> loadLocked() const;
    // Loads for a change: an unparsable file is deleted and counts as empty.
    Result<Contents, std::int32_t> loadForWriteLocked();
    std::int32_t storeLocked(const Contents& contents);
    std::int32_t discardLocked();

    std::filesystem::path path_;
    Removals removals_;
    std::mutex mutex_;
};

}  // namespace parlendo
