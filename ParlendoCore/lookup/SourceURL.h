#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// Prepares the source addresses of captures: accepts plausible address-bar values, removes
// tracking parameters and fragments so that one page saved twice gives one source, turns file URLs
// into local paths and back into one standard form, and judges whether a saved local source may be
// opened safely. Pure functions except `inspect`; callable from any thread.
class SourceURL {
  public:
    // What the file system says about a local path.
    struct LocalFacts {
        bool exists = false;
        bool isDirectory = false;
        bool hasExecutePermission = false;
        bool systemSaysRunnable = false;
        // The path with every symbolic link and "." or ".." resolved, which the other facts
        // describe and which is opened; empty when the facts were not read from a file system.
        std::string resolved;

        bool operator==(const LocalFacts&) const = default;
    };

    // What opening a saved source may do.
    struct Open {
        // Safe to open with the default application.
        std::string path;
        bool operator==(const Open&) const = default;
    };
    // Not a local file URL.
    struct Unsupported {
        bool operator==(const Unsupported&) const = default;
    };
    // The file does not exist.
    struct Missing {
        bool operator==(const Missing&) const = default;
    };
    // Refused: opening it would run something.
    struct Runnable {
        bool operator==(const Runnable&) const = default;
    };
    using LocalOpen = std::variant<Open, Unsupported, Missing, Runnable>;

    // Answers whether the system's content types call the (resolved) path runnable.
    using RunnableQuery = std::function<bool(const std::string& path)>;
    using FactsQuery = std::function<LocalFacts(const std::string& path)>;

    // The trimmed value when it is a usable page address (file, http or https with something after
    // the scheme), else nothing.
    static std::optional<std::string> acceptAddressBar(const std::optional<std::string>& value);

    // The URL without its fragment and tracking parameters.
    static std::string clean(std::string_view url);

    // The decoded absolute path of a "file:///…" URL; nothing for any other text, a URL with a
    // host part, or a path that no file can have.
    static std::optional<std::string> localPath(std::string_view url);

    // A file URL rewritten into the standard absolute "file:///…" form; any other text unchanged.
    static std::string standardFile(std::string_view url);

    // The standard file URL of an absolute path.
    static std::string fileURL(std::string_view path);

    // Reads the facts of a local path from the file system, after resolving every symbolic link
    // and "." or ".." in it; the content-type question goes to `systemSaysRunnable` with the
    // resolved path.
    static LocalFacts inspect(const std::string& path, const RunnableQuery& systemSaysRunnable);

    // Decides what opening a saved source URL may do; the facts come through `facts`. The names
    // of both the path as saved and the path it resolves to are judged, and `Open` carries the
    // resolved path, so that what is opened is exactly what was judged.
    static LocalOpen judgeLocal(std::string_view url, const FactsQuery& facts);

  private:
    // Percent-decoding; invalid UTF-8 becomes U+FFFD.
    static std::string unquote(std::string_view text);
};

}  // namespace parlendo
