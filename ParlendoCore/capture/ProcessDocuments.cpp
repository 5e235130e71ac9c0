#include "capture/ProcessDocuments.h"

#include "foundation/FileIO.h"
#include "foundation/PyText.h"
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

bool isPDFName(const std::string& path) {
    return text::asciiLower(path).ends_with(".pdf");
}

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

bool accepts(Kind kind, const fs::path& path) {
    switch (kind) {
        case Kind::pdf:
            return isPDFName(path.string());
        case Kind::document:
            return !inSystemFolder(path) && !hidden(path);
    }
    return false;
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

void add(std::vector<std::string>& out, const fs::path& path, Kind kind) {
    if (!path.is_absolute()) {
        return;
    }
    const fs::path normal = path.lexically_normal();
    if (!accepts(kind, normal) || !isFile(normal)) {
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

// Whether the code point that ends right before `at`, or starts at `at`, is a letter or digit.
bool letterBefore(std::string_view s, size_t at) {
    if (at == 0) {
        return false;
    }
    auto i = static_cast<int32_t>(at);
    UChar32 c = 0;
    U8_PREV(reinterpret_cast<const uint8_t*>(s.data()), 0, i, c);
    return c >= 0 && u_isalnum(c);
}

bool letterAt(std::string_view s, size_t at) {
    if (at >= s.size()) {
        return false;
    }
    auto i = static_cast<int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, static_cast<int32_t>(s.size()), c);
    return c >= 0 && u_isalnum(c);
}

// Whether `word` stands in `text` with no letter or digit right before or after it.
bool standsAlone(std::string_view text, std::string_view word) {
    if (word.empty()) {
        return false;
    }
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        if (!letterBefore(text, at) && !letterAt(text, at + word.size())) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> candidates(std::int32_t pid, Kind kind, const fs::path& proc) {
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
                    add(out, *path, kind);
                }
            } else if (!args[i].starts_with("-")) {
                const fs::path arg(args[i]);
                add(out, arg.is_absolute() || cwd.empty() ? arg : cwd / arg, kind);
            }
        }
    }
    std::vector<fs::path> open;
    for (fs::directory_iterator it(base / "fd", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError) {
            open.push_back(target);
        }
    }
    std::sort(open.begin(), open.end());
    for (const auto& target : open) {
        add(out, target, kind);
    }
    return out;
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

size_t shownInTitle(const std::string& path, const std::optional<std::string>& title) {
    if (!title || path.empty()) {
        return 0;
    }
    const std::string shown = text::nfc(*title);
    const std::string whole = text::nfc(path);
    // A whole path outranks any file name alone.
    if (standsAlone(shown, whole)) {
        return 0x10000 + whole.size();
    }
    const std::string name = text::nfc(fs::path(path).filename().string());
    return standsAlone(shown, name) ? name.size() : 0;
}

std::optional<std::string> namedInTitle(const std::vector<std::string>& paths,
                                        const std::optional<std::string>& title) {
    std::optional<std::string> best;
    size_t bestScore = 0;
    for (const auto& path : paths) {
        if (const size_t score = shownInTitle(path, title); score > bestScore) {
            best = path;
            bestScore = score;
        }
    }
    return best;
}

std::optional<std::string> document(std::int32_t pid, const std::optional<std::string>& title,
                                    const fs::path& proc) {
    const auto found = candidates(pid, Kind::pdf, proc);
    if (found.empty()) {
        return std::nullopt;
    }
    if (title) {
        const std::string wanted = PyText::lower(text::nfc(*title));
        for (const auto& path : found) {
            std::string name = PyText::lower(text::nfc(fs::path(path).filename().string()));
            const std::string stem = name.substr(0, name.size() - 4);
            if (!stem.empty() && wanted.find(stem) != std::string::npos) {
                return path;
            }
        }
    }
    return found.front();
}

}  // namespace parlendo::ProcessDocuments
