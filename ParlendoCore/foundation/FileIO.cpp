#include "foundation/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace parlendo::fileio {

namespace {
std::atomic<unsigned> tempCounter{0};

std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}
}  // namespace

std::optional<std::string> readFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::error_code makePrivateFolder(const std::filesystem::path& folder,
                                  const std::filesystem::path& top) {
    if (!folder.is_absolute()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::filesystem::path target = folder.lexically_normal();
    const std::filesystem::path from = top.empty() ? top : top.lexically_normal();
    std::filesystem::path walked;
    bool tightening = false;
    for (const auto& piece : target) {
        if (piece.empty()) {
            continue;  // the empty name after a trailing separator
        }
        walked /= piece;
        tightening = tightening || (!from.empty() && walked == from);
        if (::mkdir(walked.c_str(), privateFolderMode) == 0) {
            continue;
        }
        if (errno != EEXIST) {
            return lastError();
        }
        struct stat status {};
        if (::stat(walked.c_str(), &status) != 0) {
            return lastError();
        }
        if (!S_ISDIR(status.st_mode)) {
            return std::make_error_code(std::errc::not_a_directory);
        }
        if (tightening && status.st_uid == ::geteuid() && (status.st_mode & 077) != 0 &&
            ::chmod(walked.c_str(), status.st_mode & 0700) != 0) {
            return lastError();
        }
    }
    return {};
}

Result<std::filesystem::path, std::error_code> writeReplacement(
    const std::filesystem::path& path, std::string_view bytes,
    const std::optional<std::filesystem::path>& top) {
    if (!path.is_absolute() || !path.has_filename()) {
        return fail(std::make_error_code(std::errc::invalid_argument));
    }
    const std::filesystem::path folder = path.parent_path();
    if (std::error_code ec = makePrivateFolder(folder, top.value_or(folder))) {
        return fail(ec);
    }
    const std::string temp = path.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                             std::to_string(tempCounter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateFileMode);
    if (fd < 0) {
        return fail(lastError());
    }
    // The mode given to open() is narrowed by the umask; set it exactly.
    if (::fchmod(fd, privateFileMode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
        const std::error_code ec = lastError();
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(ec);
    }
    if (::close(fd) != 0) {
        const std::error_code ec = lastError();
        ::unlink(temp.c_str());
        return fail(ec);
    }
    return std::filesystem::path(temp);
}

std::error_code replaceWith(const std::filesystem::path& temp, const std::filesystem::path& path) {
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const std::error_code ec = lastError();
        ::unlink(temp.c_str());
        return ec;
    }
    return {};
}

std::error_code writeAtomically(const std::filesystem::path& path, std::string_view bytes,
                                const std::optional<std::filesystem::path>& top) {
    auto temp = writeReplacement(path, bytes, top);
    if (!temp) {
        return temp.error();
    }
    return replaceWith(*temp, path);
}

Result<std::filesystem::path, std::error_code> setAside(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    constexpr int names = 100;
    const std::string base = path.string() + ".unreadable";
    std::error_code ec;
    for (int n = 1; n <= names; ++n) {
        const fs::path aside = n == 1 ? fs::path(base) : fs::path(base + "." + std::to_string(n));
        if (fs::exists(fs::symlink_status(aside, ec))) {
            continue;
        }
        fs::rename(path, aside, ec);
        if (ec) {
            return fail(ec);
        }
        return aside;
    }
    return fail(std::make_error_code(std::errc::file_exists));
}

std::error_code syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    std::error_code ec;
    if (::fsync(fd) != 0) {
        ec = lastError();
    }
    ::close(fd);
    return ec;
}

}  // namespace parlendo::fileio
