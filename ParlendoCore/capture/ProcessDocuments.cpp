#include "capture/ProcessDocuments.h"

#include "foundation/FileIO.h"
#include "foundation/Text.h"
#include "lookup/SourceURL.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace parlendo::ProcessDocuments {

namespace {

namespace fs = std::filesystem;

// The system's own folders: every process holds fonts, libraries and caches open there.
constexpr std::array<std::string_view, 14> systemFolders = {
    "/proc", "/sys",   "/dev",   "/run", "/usr",  "/etc",  "/var",
    "/lib",  "/lib64", "/lib32", "/bin", "/sbin", "/boot", "/snap",
};

bool inSystemFolder(const fs::path& path) {
    auto part = path.begin();
    if (part == path.end() || ++part == path.end()) {
        return true;  // the root itself
    }
    const std::string top = "/" + part->string();
    return std::find(systemFolders.begin(), systemFolders.end(), top) != systemFolders.end();
}

bool hidden(const fs::path& path) {
    return std::any_of(path.begin(), path.end(), [](const fs::path& part) {
        const std::string name = part.string();
        return name.size() > 1 && name.front() == '.' && name != "..";
    });
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

void add(std::vector<std::string>& out, const fs::path& path) {
    if (!path.is_absolute()) {
        return;
    }
    const fs::path normal = path.lexically_normal();
    if (inSystemFolder(normal) || hidden(normal) || !isFile(normal)) {
        return;
    }
    const std::string text = normal.string();
    if (std::find(out.begin(), out.end(), text) == out.end()) {
        out.push_back(text);
    }
}

// The NUL-separated arguments of a command line.
std::vector<std::string> arguments(const std::string& cmdline) {
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= cmdline.size(); ++i) {
        if (i == cmdline.size() || cmdline[i] == '\0') {
            if (i > start) {
                args.push_back(cmdline.substr(start, i - start));
            }
            start = i + 1;
        }
    }
    return args;
}

// Whether the code point `c` continues a file name or a path, so that a name glued to it is
// part of another name (a letter, a digit, "_", "-", "." or "/").
bool continuesName(UChar32 c) {
    return c >= 0 && (u_isalnum(c) || c == '_' || c == '-' || c == '.' || c == '/');
}

bool gluedBefore(std::string_view s, size_t at) {
    if (at == 0) {
        return false;
    }
    auto i = static_cast<int32_t>(at);
    UChar32 c = 0;
    U8_PREV(reinterpret_cast<const uint8_t*>(s.data()), 0, i, c);
    return continuesName(c);
}

bool gluedAfter(std::string_view s, size_t at) {
    if (at >= s.size()) {
        return false;
    }
    auto i = static_cast<int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, static_cast<int32_t>(s.size()), c);
    return continuesName(c);
}

// Whether `word` stands in `text` on its own: nothing that continues a name or a path right
// before or after it. A file name right after a "/" is the end of a path, not a name alone.
bool standsAlone(std::string_view text, std::string_view word) {
    if (word.empty()) {
        return false;
    }
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        if (!gluedBefore(text, at) && !gluedAfter(text, at + word.size())) {
            return true;
        }
    }
    return false;
}

// Whether two paths name one file: the same text, or the same file reached another way.
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

std::string nameOf(const std::string& path) {
    return text::nfc(fs::path(path).filename().string());
}

}  // namespace

std::vector<std::string> candidates(std::int32_t pid, const fs::path& proc) {
    std::vector<std::string> out;
    if (pid <= 0) {
        return out;
    }
    const fs::path base = proc / std::to_string(pid);
    std::error_code error;
    const fs::path cwd = fs::read_symlink(base / "cwd", error);
    if (const auto cmdline = fileio::readFile(base / "cmdline")) {
        const auto args = arguments(*cmdline);
        for (size_t i = 1; i < args.size(); ++i) {
            if (text::asciiLower(args[i]).starts_with("file://")) {
                if (auto path = SourceURL::localPath(args[i])) {
                    add(out, *path);
                }
            } else if (!args[i].starts_with("-")) {
                const fs::path arg(args[i]);
                add(out, arg.is_absolute() || cwd.empty() ? arg : cwd / arg);
            }
        }
    }
    std::vector<fs::path> open = openFiles(pid, proc).value_or(std::vector<fs::path>{});
    std::sort(open.begin(), open.end());
    for (const auto& target : open) {
        add(out, target);
    }
    return out;
}

std::optional<std::vector<fs::path>> openFiles(std::int32_t pid, const fs::path& proc) {
    if (pid <= 0) {
        return std::nullopt;
    }
    std::vector<fs::path> open;
    std::error_code error;
    for (fs::directory_iterator it(proc / std::to_string(pid) / "fd", error), end;
         !error && it != end; it.increment(error)) {
        // A descriptor closed since it was listed is simply no longer open.
        std::error_code linkError;
        fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError) {
            open.push_back(std::move(target));
        }
    }
    if (error) {
        return std::nullopt;
    }
    return open;
}

std::vector<std::string> programNames(std::int32_t pid, const fs::path& proc) {
    std::vector<std::string> names;
    if (pid <= 0) {
        return names;
    }
    const fs::path base = proc / std::to_string(pid);
    auto keep = [&](std::string name) {
        name = text::asciiLower(text::trimAscii(name));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    };
    if (const auto comm = fileio::readFile(base / "comm")) {
        keep(*comm);
    }
    std::error_code error;
    if (const fs::path exe = fs::read_symlink(base / "exe", error); !error) {
        keep(exe.filename().string());
    }
    if (const auto cmdline = fileio::readFile(base / "cmdline")) {
        if (const auto args = arguments(*cmdline); !args.empty()) {
            keep(fs::path(args.front()).filename().string());
        }
    }
    return names;
}

bool shownInTitle(const std::string& path, const std::optional<std::string>& title) {
    if (!title || path.empty()) {
        return false;
    }
    const std::string shown = text::nfc(*title);
    return standsAlone(shown, text::nfc(path)) || standsAlone(shown, nameOf(path));
}

std::optional<std::string> namedInTitle(const std::vector<std::string>& paths,
                                        const std::optional<std::string>& title) {
    if (!title) {
        return std::nullopt;
    }
    const std::string shown = text::nfc(*title);
    // A title that shows a whole path names that file and no other.
    std::optional<std::string> byPath;
    for (const auto& path : paths) {
        if (!path.empty() && standsAlone(shown, text::nfc(path))) {
            if (byPath && !sameFile(*byPath, path)) {
                return std::nullopt;
            }
            byPath = byPath.value_or(path);
        }
    }
    if (byPath) {
        return byPath;
    }
    // Else the longest file name it shows, when no other file has that name.
    std::optional<std::string> byName;
    size_t longest = 0;
    bool shared = false;
    for (const auto& path : paths) {
        const std::string name = nameOf(path);
        if (name.size() < longest || !standsAlone(shown, name)) {
            continue;
        }
        if (name.size() > longest) {
            byName = path;
            longest = name.size();
            shared = false;
        } else if (!sameFile(*byName, path)) {
            shared = true;
        }
    }
    return shared ? std::nullopt : byName;
}

}  // namespace parlendo::ProcessDocuments
