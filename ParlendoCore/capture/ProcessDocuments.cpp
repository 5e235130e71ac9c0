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
// part of another name (a letter, a digit, "_", "-", ".", "~" or "/").
bool continuesName(UChar32 c) {
    return c >= 0 && (u_isalnum(c) || c == '_' || c == '-' || c == '.' || c == '~' || c == '/');
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
// before or after it. A file name right after a "/" is the end of a longer path, not a name
// alone.
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

// How a title shows a file: the longest form of its path that stands alone in it (0 when none
// does), and whether that form names a folder too.
struct Shown {
    size_t length = 0;
    bool withFolder = false;
};

// The forms of the path a title may show: the whole path, the path from the home folder
// ("~/docs/notes.txt"), and every trailing part of it down to the name alone ("docs/notes.txt",
// "notes.txt"). Since "/" continues a name, a shorter part glued to the rest of a longer one in
// the title does not stand alone, so the form found is what the title shows, never less.
Shown shownAs(std::string_view shown, const std::string& path, const std::string& home) {
    const std::string whole = text::nfc(path);
    Shown best;
    auto consider = [&](std::string_view form) {
        if (form.size() > best.length && standsAlone(shown, form)) {
            best = {form.size(), form.find('/') != std::string_view::npos};
        }
    };
    if (!home.empty() && whole.size() > home.size() + 1 && whole.starts_with(home) &&
        whole[home.size()] == '/') {
        consider("~" + whole.substr(home.size()));
    }
    consider(whole);
    for (size_t slash = whole.find('/'); slash != std::string::npos;
         slash = whole.find('/', slash + 1)) {
        consider(std::string_view(whole).substr(slash + 1));
    }
    return best;
}

// The home folder as titles abbreviate it, without a trailing "/"; empty for none or the root.
std::string homeOf(const fs::path& home) {
    std::string text = text::nfc(home.lexically_normal().string());
    while (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    return text;
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

std::optional<std::string> onlyPDFHeld(std::int32_t pid, const fs::path& proc) {
    const auto open = openFiles(pid, proc);
    if (!open) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    for (const auto& target : *open) {
        if (!target.is_absolute() ||
            !text::asciiLower(target.filename().string()).ends_with(".pdf") || !isFile(target)) {
            continue;
        }
        const std::string path = target.lexically_normal().string();
        if (found && !sameFile(*found, path)) {
            return std::nullopt;
        }
        found = found.value_or(path);
    }
    return found;
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

bool shownInTitle(const std::string& path, const std::optional<std::string>& title,
                  const fs::path& home) {
    if (!title || path.empty()) {
        return false;
    }
    return shownAs(text::nfc(*title), path, homeOf(home)).length > 0;
}

std::optional<std::string> namedInTitle(const std::vector<std::string>& paths,
                                        const std::optional<std::string>& title,
                                        const fs::path& home) {
    if (!title) {
        return std::nullopt;
    }
    const std::string shown = text::nfc(*title);
    const std::string homeText = homeOf(home);
    std::vector<Shown> forms;
    forms.reserve(paths.size());
    for (const auto& path : paths) {
        forms.push_back(path.empty() ? Shown{} : shownAs(shown, path, homeText));
    }
    // A title that shows a path (whole, from the home folder, or the folders above the name)
    // names that file and no other; two files that both end with what it shows, neither.
    std::optional<std::string> byPath;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (forms[i].withFolder) {
            if (byPath && !sameFile(*byPath, paths[i])) {
                return std::nullopt;
            }
            byPath = byPath.value_or(paths[i]);
        }
    }
    if (byPath) {
        return byPath;
    }
    // Else the longest file name it shows, when no other file has that name.
    std::optional<std::string> byName;
    size_t longest = 0;
    bool shared = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (forms[i].length == 0 || forms[i].length < longest) {
            continue;
        }
        if (forms[i].length > longest) {
            byName = paths[i];
            longest = forms[i].length;
            shared = false;
        } else if (!sameFile(*byName, paths[i])) {
            shared = true;
        }
    }
    return shared ? std::nullopt : byName;
}

}  // namespace parlendo::ProcessDocuments
