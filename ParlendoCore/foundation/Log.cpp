#include "foundation/Log.h"

#include "foundation/AppBundle.h"
#include "foundation/ConfigError.h"
#include "foundation/FileIO.h"
#include "foundation/RuntimePaths.h"
#include "foundation/SHA256.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"
#include "foundation/WorkerQueue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

namespace parlendo {

namespace fs = std::filesystem;

namespace {

struct LogState {
    SerialQueue queue{"parlendo.log"};
    const std::string salt = uuid::makeUpper();
    bool rawAllowed = false;
    std::atomic<std::uint64_t> maxBytes{10485760};

    std::mutex mutex;  // guards the fields below
    fs::path directory;
    bool appOwned = true;
    Log::Tap tap;
    Log::MoveFile moveFile;

    bool rotationFailureLogged = false;  // touched on the queue only

    // Lines written since the queue last appended; the queue takes them all at once, shortly
    // after the first of them, so a burst of lines wakes the queue once.
    std::mutex pendingMutex;
    std::vector<std::string> pending;
    bool appendScheduled = false;
    bool closed = false;  // lines are no longer written
};

// How long a line may wait for the lines that follow it before the queue appends them.
constexpr double coalesceSeconds = 0.05;

bool releaseMode(const RuntimePaths::Environment& environment) {
    if (!AppBundle::main().identifier) {
        return false;
    }
    auto it = environment.find("PARLENDO_DEVELOPER_MODE");
    return it == environment.end() || it->second != "1";
}

LogState& state() {
    // Never destroyed: lines may be written from other static destructors.
    static LogState* s = [] {
        auto* st = new LogState();
        const auto environment = RuntimePaths::processEnvironment();
        auto raw = environment.find("PARLENDO_LOG_RAW");
        st->rawAllowed =
            raw != environment.end() && raw->second == "1" && !releaseMode(environment);
        const AppBundle& bundle = AppBundle::main();
        std::optional<std::string> bundlePath;
        if (bundle.identifier) {
            bundlePath = bundle.path.string();
        }
        if (auto resolved = RuntimePaths::resolveLogDirectory(environment, bundlePath)) {
            st->directory = resolved->url;
            st->appOwned = resolved->appOwned;
        } else {
            st->directory = RuntimePaths::defaultLogDirectory(environment);
            st->appOwned = true;
        }
        st->moveFile = [](const fs::path& from, const fs::path& to) {
            std::error_code ec;
            fs::rename(from, to, ec);
            return ec;
        };
        std::atexit([] { Log::flush(); });
        return st;
    }();
    return *s;
}

std::string timestamp() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    // Lines come in bursts: the date and time of the last second written on this thread is
    // kept, so most lines only add their milliseconds.
    thread_local std::time_t cachedSecond = -1;
    thread_local char cached[40];
    thread_local size_t cachedLength = 0;
    if (seconds != cachedSecond) {
        std::tm local{};
        localtime_r(&seconds, &local);
        cachedLength = std::strftime(cached, sizeof cached, "%Y-%m-%d %H:%M:%S", &local);
        cachedSecond = seconds;
    }
    const int millis = static_cast<int>(ms.count() % 1000);
    std::string out(cached, cachedLength);
    out += '.';
    out += static_cast<char>('0' + millis / 100);
    out += static_cast<char>('0' + millis / 10 % 10);
    out += static_cast<char>('0' + millis % 10);
    return out;
}

void appendTo(const fs::path& file, const std::string& bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    fileio::writeAll(fd, bytes);
    ::close(fd);
}

bool rotate(LogState& st, const fs::path& directory, const Log::MoveFile& move) {
    const fs::path current = directory / Log::fileName;
    const fs::path rotated = directory / Log::rotatedName;
    std::error_code ignored;
    fs::remove(rotated, ignored);
    const std::error_code ec = move ? move(current, rotated) : std::error_code();
    if (!ec) {
        return true;
    }
    if (!st.rotationFailureLogged) {
        st.rotationFailureLogged = true;
        appendTo(current, timestamp() + " [log] 🔴 돌려쓰기 실패 " + Log::describe(ec) +
                              " — app.log 에 이어 쓴다\n");
    }
    return false;
}

// The log is the user's alone: a log file that others may read (written before the program kept
// it private) is made private when it is next written, and the rotated one with it.
void keepPrivate(int fd, const fs::path& directory) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || (status.st_mode & 077) == 0) {
        return;
    }
    ::fchmod(fd, fileio::privateFileMode);
    ::chmod((directory / Log::rotatedName).c_str(), fileio::privateFileMode);
}

// Appends the lines to app.log, rotating before a line that would take the file past the limit.
// The file stays open from one line to the next.
void append(LogState& st, const std::vector<std::string>& lines) {
    fs::path directory;
    bool appOwned = true;
    Log::MoveFile move;
    {
        std::lock_guard lock(st.mutex);
        directory = st.directory;
        appOwned = st.appOwned;
        move = st.moveFile;
    }
    const fs::path file = directory / Log::fileName;
    int fd = -1;
    std::uint64_t size = 0;
    auto openExisting = [&] {
        fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
        const off_t end = fd < 0 ? 0 : ::lseek(fd, 0, SEEK_END);
        size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        if (fd >= 0) {
            keepPrivate(fd, directory);
        }
    };
    auto openEmpty = [&] {
        fd =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, fileio::privateFileMode);
        if (fd >= 0) {
            keepPrivate(fd, directory);
        }
        size = 0;
    };
    for (const auto& line : lines) {
        if (fd < 0) {
            openExisting();
        }
        if (fd < 0) {
            fileio::makePrivateFolder(directory, appOwned ? directory : fs::path());
            openEmpty();
        } else if (size > 0 && st.maxBytes.load() < size + line.size()) {
            ::close(fd);
            fd = -1;
            if (rotate(st, directory, move)) {
                openEmpty();
            } else {
                openExisting();
            }
        }
        if (fd < 0) {
            continue;
        }
        fileio::writeAll(fd, line);
        size += line.size();
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

// Runs on the queue: appends every line written so far.
void appendPending(LogState& st) {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(st.pendingMutex);
        lines.swap(st.pending);
        st.appendScheduled = false;
    }
    append(st, lines);
}

}  // namespace

void Log::write(std::string_view tag, std::string_view message) {
    LogState& st = state();
    std::string line = timestamp();
    line.append(" [").append(tag).append("] ").append(message).push_back('\n');
    Tap tap;
    {
        std::lock_guard lock(st.mutex);
        tap = st.tap;
    }
    if (tap) {
        tap(std::string(tag), std::string(message));
    }
    // Lines are written as given; text that is not valid UTF-8 gets U+FFFD where it breaks.
    bool schedule = false;
    {
        std::lock_guard lock(st.pendingMutex);
        if (st.closed) {
            return;
        }
        st.pending.push_back(text::sanitize(line));
        schedule = !std::exchange(st.appendScheduled, true);
    }
    if (schedule) {
        st.queue.postAfter(coalesceSeconds, [&st] { appendPending(st); });
    }
}

std::string Log::redact(std::optional<std::string_view> value) {
    if (!value || value->empty()) {
        return "none";
    }
    LogState& st = state();
    if (st.rawAllowed) {
        return "raw:" + std::string(*value);
    }
    std::string input = st.salt;
    input.push_back('\0');
    input.append(*value);
    return "len=" + std::to_string(text::characterCount(*value)) + "#" +
           SHA256::hex(input).substr(0, 8);
}

std::string Log::describe(const ConfigError& error) {
    return "ConfigError(" + error.code() + ")";
}

std::string Log::describe(const std::error_code& error) {
    return describe(error.category().name(), error.value());
}

std::string Log::describe(std::string_view domain, long long code) {
    return std::string(domain) + "#" + std::to_string(code);
}

std::string Log::describe(std::string_view domain, std::string_view code) {
    return std::string(domain) + "#" + std::string(code);
}

void Log::flush() {
    LogState& st = state();
    st.queue.post([&st] { appendPending(st); });
    st.queue.drain();
}

void Log::close() {
    LogState& st = state();
    {
        std::lock_guard lock(st.pendingMutex);
        st.closed = true;
    }
    // A line already queued is appended now; the append it scheduled finds nothing left.
    flush();
}

fs::path Log::directory() {
    LogState& st = state();
    std::lock_guard lock(st.mutex);
    return st.directory;
}

bool Log::isRawEnabled() {
    return state().rawAllowed;
}

bool Log::isAppOwnedDirectory() {
    LogState& st = state();
    std::lock_guard lock(st.mutex);
    return st.appOwned;
}

std::uint64_t Log::maxBytes() {
    return state().maxBytes.load();
}

void Log::setMaxBytes(std::uint64_t bytes) {
    state().maxBytes.store(bytes);
}

void Log::setTap(Tap tap) {
    LogState& st = state();
    std::lock_guard lock(st.mutex);
    st.tap = std::move(tap);
}

void Log::setMoveFile(MoveFile move) {
    LogState& st = state();
    std::lock_guard lock(st.mutex);
    st.moveFile = std::move(move);
}

void Log::setDirectory(const fs::path& directory) {
    LogState& st = state();
    flush();
    {
        std::lock_guard lock(st.mutex);
        st.directory = directory;
    }
    std::lock_guard lock(st.pendingMutex);
    st.closed = false;
}

}  // namespace parlendo
