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
};

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
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[40];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    char out[48];
    std::snprintf(out, sizeof out, "%.*s.%03d", static_cast<int>(n), buffer,
                  static_cast<int>(ms.count() % 1000));
    return out;
}

void writeWhole(const fs::path& file, const std::string& bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    fileio::writeAll(fd, bytes);
    ::close(fd);
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

void append(LogState& st, const std::string& line) {
    fs::path directory;
    Log::MoveFile move;
    {
        std::lock_guard lock(st.mutex);
        directory = st.directory;
        move = st.moveFile;
    }
    const fs::path file = directory / Log::fileName;
    int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        std::error_code ignored;
        fs::create_directories(directory, ignored);
        writeWhole(file, line);
        return;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0 && st.maxBytes.load() < static_cast<std::uint64_t>(size) + line.size()) {
        ::close(fd);
        if (rotate(st, directory, move)) {
            writeWhole(file, line);
        } else {
            appendTo(file, line);
        }
        return;
    }
    fileio::writeAll(fd, line);
    ::close(fd);
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
    st.queue.post([&st, line = text::sanitize(line)] { append(st, line); });
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
    state().queue.drain();
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
    std::lock_guard lock(st.mutex);
    st.directory = directory;
}

}  // namespace parlendo
