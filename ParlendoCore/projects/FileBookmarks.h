#pragma once

#include "projects/SourceLinking.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// File bookmarks as a small versioned record of the file: its absolute path (any bytes, kept
// exactly), device, inode, size and modification time.
//   {"version": 1, "path": "<Base64 of the path bytes>", "device": n, "inode": n, "size": n,
//    "mtime_ns": n}
// A bookmark resolves to its path while a regular file is there and the path is not inside a
// trash folder. Stateless apart from the home trash folder; any thread.
class FileBookmarks final : public SourceLinking {
  public:
    static constexpr int version = 1;

    // `homeTrash`: the user's trash folder; by default $XDG_DATA_HOME/Trash
    // (~/.local/share/Trash).
    explicit FileBookmarks(std::optional<std::filesystem::path> homeTrash = std::nullopt);

    std::optional<std::string> bookmark(const std::string& path) const override;
    std::optional<std::string> resolve(const std::string& data) const override;

    struct Record {
        std::string path;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t mtimeNs = 0;
        bool operator==(const Record&) const = default;
    };
    static std::string encode(const Record& record);
    static std::optional<Record> decode(std::string_view data);

    // Whether the path lies in a trash folder: the home trash, or a folder named ".Trash" or
    // ".Trash-<uid>" on any volume.
    bool inTrash(const std::string& path) const;

    static std::filesystem::path defaultHomeTrash();

  private:
    std::filesystem::path homeTrash_;
};

}  // namespace parlendo
