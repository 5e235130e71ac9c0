#include "projects/FileBookmarks.h"

#include "foundation/Base64.h"
#include "foundation/Json.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

std::int64_t modifiedNs(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// Whether `info` describes the recorded file: the same inode on the same device, whatever was
// written into it since. Found at its own path, the file may lie on a volume mounted again, which
// numbers its device (and on some file systems its inodes) anew: there the same inode, or the same
// size and modification time, decide.
bool sameFile(const FileBookmarks::Record& record, const struct stat& info, bool atItsPath) {
    if (!S_ISREG(info.st_mode)) {
        return false;
    }
    const bool sameInode = static_cast<std::uint64_t>(info.st_ino) == record.inode;
    if (static_cast<std::uint64_t>(info.st_dev) == record.device) {
        return sameInode;
    }
    return atItsPath && (sameInode || (static_cast<std::uint64_t>(info.st_size) == record.size &&
                                       modifiedNs(info) == record.mtimeNs));
}

}  // namespace

FileBookmarks::FileBookmarks(std::optional<fs::path> homeTrash)
    : homeTrash_(homeTrash ? homeTrash->lexically_normal() : defaultHomeTrash()) {
    if (homeTrash_.has_parent_path() && homeTrash_.filename().empty()) {
        homeTrash_ = homeTrash_.parent_path();
    }
}

fs::path FileBookmarks::defaultHomeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        return (fs::path(data) / "Trash").lexically_normal();
    }
    const char* home = std::getenv("HOME");
    return (fs::path(home ? home : "/") / ".local/share/Trash").lexically_normal();
}

std::string FileBookmarks::encode(const Record& record) {
    return Json{{"version", version},      {"path", Base64::encode(record.path)},
                {"device", record.device}, {"inode", record.inode},
                {"size", record.size},     {"mtime_ns", record.mtimeNs}}
        .dump();
}

std::optional<FileBookmarks::Record> FileBookmarks::decode(std::string_view data) {
    auto value = json::parse(data);
    if (!value || json::integer(*value, "version") != version) {
        return std::nullopt;
    }
    auto path = json::string(*value, "path");
    auto bytes = path ? Base64::decode(*path) : std::nullopt;
    auto number = [&](const char* key) -> std::optional<std::uint64_t> {
        const Json* member = value->contains(key) ? &(*value)[key] : nullptr;
        if (!member || !member->is_number_integer()) {
            return std::nullopt;
        }
        return member->get<std::uint64_t>();
    };
    auto device = number("device");
    auto inode = number("inode");
    auto size = number("size");
    auto mtime = json::integer(*value, "mtime_ns");
    if (!bytes || bytes->empty() || !device || !inode || !size || !mtime) {
        return std::nullopt;
    }
    return Record{std::move(*bytes), *device, *inode, *size, *mtime};
}

std::optional<std::string> FileBookmarks::bookmark(const std::string& path) const {
    if (path.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(path), ec).lexically_normal();
    if (ec) {
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(absolute.c_str(), &info) != 0) {
        return std::nullopt;
    }
    Record record{absolute.string(), static_cast<std::uint64_t>(info.st_dev),
                  static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_size),
                  modifiedNs(info)};
    return encode(record);
}

std::optional<std::string> FileBookmarks::resolve(const std::string& data) const {
    auto record = decode(data);
    if (!record || record->path.front() != '/') {
        return std::nullopt;
    }
    const fs::path path = fs::path(record->path).lexically_normal();
    if (inTrash(path.string())) {
        return std::nullopt;
    }
    struct stat info {};
    const bool there = ::stat(path.c_str(), &info) == 0;
    if (there && sameFile(*record, info, true)) {
        return path.string();
    }
    if (auto found = renamed(*record, path)) {
        return found;
    }
    // Applications save by writing a new file and renaming it over the old one: the file now at
    // the path is the document saved again.
    if (there && S_ISREG(info.st_mode)) {
        return path.string();
    }
    return std::nullopt;
}

std::optional<std::string> FileBookmarks::renamed(const Record& record,
                                                  const fs::path& path) const {
    const fs::path folder = path.parent_path();
    if (folder.empty() || inTrash(folder.string())) {
        return std::nullopt;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    int looked = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == path.filename().string()) {
            continue;
        }
        if (++looked > renameScanMax) {
            break;
        }
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 &&
            sameFile(record, info, false)) {
            found = (folder / name).string();
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool FileBookmarks::inTrash(const std::string& path) const {
    const fs::path normal = fs::path(path).lexically_normal();
    for (const auto& part : normal) {
        const std::string name = part.string();
        if (name == ".Trash" || name.starts_with(".Trash-")) {
            return true;
        }
    }
    auto trash = homeTrash_.begin();
    auto it = normal.begin();
    for (; trash != homeTrash_.end() && it != normal.end(); ++trash, ++it) {
        if (*trash != *it) {
            return false;
        }
    }
    return trash == homeTrash_.end() && it != normal.end();
}

}  // namespace parlendo
