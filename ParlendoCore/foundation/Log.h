#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace parlendo {

class ConfigError;

// The application log: one line per call, "<yyyy-MM-dd HH:mm:ss.SSS> [<tag>] <message>", appended
// to app.log in the log directory on the serial queue "parlendo.log". Writing never blocks on the
// disk and never fails for the caller: lines written within a few hundredths of a second are
// appended together, so a burst of lines wakes the queue once (`flush` appends at once).
// app.log rotates once to app.1.log above `maxBytes`.
class Log {
  public:
    using Tap = std::function<void(const std::string& tag, const std::string& message)>;
    using MoveFile = std::function<std::error_code(const std::filesystem::path& from,
                                                   const std::filesystem::path& to)>;

    static constexpr const char* rotatedName = "app.1.log";
    static constexpr const char* fileName = "app.log";

    // Takes the time, calls the tap (if any) on this thread, and queues the append.
    static void write(std::string_view tag, std::string_view message);

    // The loggable form of user text or an identifier: "none" when empty or absent, "raw:<value>"
    // in raw mode, else "len=<characters>#<8 hex digits of a salted SHA-256>".
    static std::string redact(std::optional<std::string_view> value);
    static std::string redact(const std::string& value) { return redact(std::string_view(value)); }
    static std::string redact(const char* value) {
        return redact(value ? std::optional<std::string_view>(value) : std::nullopt);
    }

    // "ConfigError(<code>)" for a profile error, "<domain>#<code>" for any other error (errors
    // whose code is text, like the account errors, give that text as the code).
    static std::string describe(const ConfigError& error);
    static std::string describe(const std::error_code& error);
    static std::string describe(std::string_view domain, long long code);
    static std::string describe(std::string_view domain, std::string_view code);

    // Waits until every line queued so far has been appended.
    static void flush();
    // Appends every line written so far and writes no more (the tap still hears them), until
    // the log is pointed at a directory again: the log folder is about to go with the process,
    // and a later line would bring it back.
    static void close();

    static std::filesystem::path directory();
    static bool isRawEnabled();
    // True when the log directory came from the default location, false for EV_LOG_DIR.
    static bool isAppOwnedDirectory();

    static std::uint64_t maxBytes();
    static void setMaxBytes(std::uint64_t bytes);
    static void setTap(Tap tap);
    static void setMoveFile(MoveFile move);

    // Points the log at another directory (tests); later lines go there, also after `close`.
    static void setDirectory(const std::filesystem::path& directory);
};

}  // namespace parlendo
