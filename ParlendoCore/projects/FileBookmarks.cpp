#include "projects/FileBookmarks.h"

#include "foundation/Base64.h"
#include "foundation/Json.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

// What a record keeps of a file, as the file system tells it now.
struct FileStat {
    mode_t mode = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::optional<std::int64_t> btimeNs;
};

std::int64_t nanoseconds(const struct statx_timestamp& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// The file `name` names, relative to the open folder `folder` (AT_FDCWD for an absolute path),
// links followed.
std::optional<FileStat> fileStat(int folder, const char* name) {
    struct statx info {};
    constexpr unsigned needed = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME;
    if (::statx(folder, name, AT_STATX_SYNC_AS_STAT, needed | STATX_BTIME, &info) != 0 ||
        (info.stx_mask & needed) != needed) {
        return std::nullopt;
    }
    FileStat file{info.stx_mode,
                  makedev(info.stx_dev_major, info.stx_dev_minor),
                  info.stx_ino,
                  info.stx_size,
                  nanoseconds(info.stx_mtime),
                  std::nullopt};
    if ((info.stx_mask & STATX_BTIME) != 0) {
        file.btimeNs = nanoseconds(info.stx_btime);
    }
    return file;
}

FileBookmarks::Record recordOf(std::string path, const FileStat& file) {
    return {std::move(path), file.device, file.inode, file.size, file.mtimeNs, file.btimeNs};
}

// Whether `file` is the recorded file: the same inode on the same device, and not another file
// that was given the number after the recorded one was removed. The birth time tells them apart;
// where either side lacks one, a file found elsewhere than its path must have the recorded size
// and modification time. At its path the number suffices: a file there stands for it anyway.
bool isRecorded(const FileBookmarks::Record& record, const FileStat& file, bool atItsPath) {
    if (!S_ISREG(file.mode) || file.device != record.device || file.inode != record.inode) {
        return false;
    }
    if (record.btimeNs && file.btimeNs) {
        return *record.btimeNs == *file.btimeNs;
    }
    return atItsPath || (file.size == record.size && file.mtimeNs == record.mtimeNs);
}

// Where a bookmark leads: `path`, with a renewed bookmark when the record no longer describes
// the file there.
SourceLink linked(const FileBookmarks::Record& record, std::string path, const FileStat& file) {
    auto now = recordOf(path, file);
    SourceLink link{std::move(path), std::nullopt};
    if (now != record) {
        link.renewed = FileBookmarks::encode(now);
    }
    return link;
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
    Json value{{"version", version},      {"path", Base64::encode(record.path)},
               {"device", record.device}, {"inode", record.inode},
               {"size", record.size},     {"mtime_ns", record.mtimeNs}};
    if (record.btimeNs) {
        value["btime_ns"] = *record.btimeNs;
    }
    return value.dump();
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
    // Absent in records made before birth times were kept.
    return Record{
        std::move(*bytes), *device, *inode, *size, *mtime, json::integer(*value, "btime_ns")};
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
    auto file = fileStat(AT_FDCWD, absolute.c_str());
    if (!file) {
        return std::nullopt;
    }
    return encode(recordOf(absolute.string(), *file));
}

std::optional<SourceLink> FileBookmarks::resolve(const std::string& data) const {
    auto record = decode(data);
    if (!record || record->path.front() != '/') {
        return std::nullopt;
    }
    const fs::path path = fs::path(record->path).lexically_normal();
    if (inTrash(path.string())) {
        return std::nullopt;
    }
    const auto there = fileStat(AT_FDCWD, path.c_str());
    if (there && isRecorded(*record, *there, true)) {
        return linked(*record, path.string(), *there);
    }
    if (auto found = renamed(*record, path)) {
        return found;
    }
    // Applications save by writing a new file and renaming it over the old one: the file now at
    // the path is the document saved again.
    if (there && S_ISREG(there->mode)) {
        return linked(*record, path.string(), *there);
    }
    return std::nullopt;
}

std::optional<SourceLink> FileBookmarks::renamed(const Record& record, const fs::path& path) const {
    const fs::path folder = path.parent_path();
    if (folder.empty() || inTrash(folder.string())) {
        return std::nullopt;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::optional<SourceLink> found;
    int looked = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == path.filename().string()) {
            continue;
        }
        if (++looked > renameScanMax) {
            break;
        }
        auto file = fileStat(::dirfd(dir), entry->d_name);
        if (file && isRecorded(record, *file, false)) {
            found = linked(record, (folder / name).string(), *file);
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
