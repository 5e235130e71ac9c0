#pragma once

#include "projects/SourceLinking.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// File bookmarks as a small versioned record of the file: its absolute path (any bytes, kept
// exactly), device, inode, size, modification time and, where the file system keeps one, its
// birth time ("btime_ns" is absent otherwise, and in records made before it was kept).
//   {"version": 1, "path": "<Base64 of the path bytes>", "device": n, "inode": n, "size": n,
//    "mtime_ns": n, "btime_ns": n}
// A bookmark resolves to the file it recorded, edited or not: at its path while the file there is
// that file, else the same file renamed within its folder. A file system hands a freed inode
// number to the next file made, so a file is taken for the recorded one only when more than its
// number agrees: its birth time, or where that is not known, for a file found elsewhere than its
// path, the recorded size and modification time. When the recorded file is not found, a regular
// file at the recorded path stands for it: applications save by writing a new file and renaming
// it over the old one, and a volume mounted again may number its device anew. A path in a trash
// folder, or a folder at the path, never resolves; a file moved to another folder is missing.
// A record that no longer describes the file it led to comes back renewed, for the caller to keep
// in its place, so that the next resolve finds the file at once.
// Stateless apart from the home trash folder; any thread.
class FileBookmarks final : public SourceLinking {
  public:
    static constexpr int version = 1;

    // `homeTrash`: the user's trash folder; by default $XDG_DATA_HOME/Trash
    // (~/.local/share/Trash).
    explicit FileBookmarks(std::optional<std::filesystem::path> homeTrash = std::nullopt);

    std::optional<std::string> bookmark(const std::string& path) const override;
    std::optional<SourceLink> resolve(const std::string& data) const override;

    struct Record {
        std::string path;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t mtimeNs = 0;
        std::optional<std::int64_t> btimeNs;  // unknown where the file system keeps none
        bool operator==(const Record&) const = default;
    };
    static std::string encode(const Record& record);
    static std::optional<Record> decode(std::string_view data);

    // Whether the path lies in a trash folder: the home trash, or a folder named ".Trash" or
    // ".Trash-<uid>" on any volume.
    bool inTrash(const std::string& path) const;

    static std::filesystem::path defaultHomeTrash();

    // The most entries of the bookmarked folder looked at for a renamed file.
    static constexpr int renameScanMax = 4096;

  private:
    std::optional<SourceLink> renamed(const Record& record,
                                      const std::filesystem::path& path) const;

    std::filesystem::path homeTrash_;
};

}  // namespace parlendo
