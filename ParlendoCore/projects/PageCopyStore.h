#pragma once

#include "foundation/Clock.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// Local copies of documents' page texts, the memory of failed page fetches and the cached
// first-page thumbnails, under `<root>/drive_cache/<user>/`:
//   <document>.json   {"sha": "<text SHA-256>", "pages": ["...", ...]}
//   fetch_skip.dat    {"<document>": {"sha": "...", "at": <seconds since 2001-01-01 UTC>}}
//   thumbs/<first 32 hex digits of SHA-256(document id)>.png
// The four most recently read or written copies are also held in memory. Files are written whole
// by an atomic replace. Only ids of at most 64 ASCII letters, digits and "-" become path
// components; anything else gets no file.
// Thread-safe: one lock guards the memory and the read-modify-write of fetch_skip.dat; copy files,
// thumbnails and folders are handled outside it.
class PageCopyStore {
  public:
    static constexpr const char* folderName = "drive_cache";
    static constexpr const char* skipFileName = "fetch_skip.dat";
    static constexpr size_t memoryMax = 4;
    static constexpr double fetchSkipFor = 86400.0;
    // Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC, the epoch of fetch_skip.dat's times.
    static constexpr double referenceEpoch = 978307200.0;

    explicit PageCopyStore(std::filesystem::path root,
                           std::shared_ptr<const WallClock> clock = SystemClock::shared());

    const std::filesystem::path& root() const { return root_; }

    using Pages = std::shared_ptr<const std::vector<std::string>>;

    // A copy's pages when it was made from the text with this SHA-256, else nullptr. The pages are
    // shared with the memory, not copied.
    Pages pages(const std::string& user, const std::string& document, const std::string& sha);
    // Stores a copy; the number of pages written, nullopt on failure.
    std::optional<int> write(const std::string& user, const std::string& document,
                             const std::vector<std::string>& pages, const std::string& sha);
    // Forgets the copy and deletes its file and its thumbnail.
    void remove(const std::string& user, const std::string& document);
    std::optional<std::filesystem::path> thumbnailPath(const std::string& user,
                                                       const std::string& document) const;
    // Removes every user's data, and what an earlier `detach` moved aside; true when all is gone.
    bool clear();
    // Empties the memory and moves the whole folder aside at once (one rename, to a name of its
    // own beside it): nothing of it is found any more, and copies written from now on start a new
    // folder. True when no folder is left in place (moved, or there was none); false when it
    // could not be moved, and nothing changed on disk.
    bool detach();
    // Removes what `detach` moved aside, in this run or an earlier one that ended before it could;
    // true when nothing is left. May take long: off the main thread.
    bool removeDetached();
    // Removes everything in the folder that is not `user`'s.
    void pruneOthers(const std::string& user);
    // Deletes the user's copies whose document is not in `keeping`; how many were deleted.
    int prune(const std::string& user, const std::set<std::string>& keeping);

    void noteFetchFailure(const std::string& user, const std::string& document,
                          const std::string& sha);
    bool fetchSkipped(const std::string& user, const std::string& document, const std::string& sha);

    // Whether an id may be a path component.
    static bool isID(std::string_view id);

  private:
    struct Copy {
        std::string sha;
        Pages pages;
    };
    struct Skip {
        std::string sha;
        double at = 0;  // Unix seconds
    };
    using Skips = std::map<std::string, Skip>;

    std::optional<std::filesystem::path> copyPath(const std::string& user,
                                                  const std::string& document) const;
    std::optional<std::filesystem::path> skipPath(const std::string& user) const;
    // Called under the lock.
    void remember(const std::string& key, Copy copy);
    static Skips readSkips(const std::filesystem::path& path);

    std::filesystem::path root_;
    std::shared_ptr<const WallClock> clock_;
    std::mutex mutex_;
    std::map<std::string, Copy> memory_;
    std::vector<std::string> order_;  // least recently remembered first
};

}  // namespace parlendo
