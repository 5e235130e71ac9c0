#include "lookup/SourceURL.h"

#include "foundation/Url.h"

#include "foundation/PyText.h"
#include "foundation/Text.h"

#include <unicode/utf8.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace parlendo {

namespace {

constexpr std::string_view fileScheme = "file://";

constexpr std::array<std::string_view, 10> trackingParameters = {
    "utm_source", "utm_medium", "utm_campaign", "utm_term", "utm_content",
    "gclid",      "fbclid",     "igshid",       "mc_cid",   "mc_eid",
};

// Names that run or install something when opened: programs, scripts, packages, launchers and
// disk images of this system and of others.
constexpr std::array<std::string_view, 67> runnableExtensions = {
    "app",      "command", "tool",       "sh",          "bash",    "zsh",  "csh",   "fish",
    "ksh",      "py",      "pyw",        "pyz",         "rb",      "pl",   "php",   "js",
    "lua",      "tcl",     "jar",        "class",       "jnlp",    "scpt", "scptd", "applescript",
    "workflow", "action",  "shortcut",   "terminal",    "pkg",     "mpkg", "dmg",   "prefpane",
    "kext",     "plugin",  "bundle",     "osax",        "exe",     "bat",  "cmd",   "ps1",
    "vbs",      "wsf",     "hta",        "cpl",         "scr",     "com",  "lnk",   "msi",
    "msix",     "appx",    "reg",        "url",         "desktop", "deb",  "rpm",   "run",
    "appimage", "flatpak", "flatpakref", "flatpakrepo", "snap",    "apk",  "iso",   "img",
    "vhd",      "vmdk",    "qcow2",
};

template <size_t N>
bool contains(const std::array<std::string_view, N>& set, std::string_view value) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

// Decodes "%XX" in a run of ASCII bytes and appends the bytes read as UTF-8 (invalid sequences
// become U+FFFD).
void flushRun(std::string_view run, std::string& out) {
    std::string bytes;
    bytes.reserve(run.size());
    for (size_t i = 0; i < run.size(); ++i) {
        if (run[i] == '%' && i + 2 < run.size()) {
            const int hi = Url::hexDigit(run[i + 1]);
            const int lo = Url::hexDigit(run[i + 2]);
            if (hi >= 0 && lo >= 0) {
                bytes.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        bytes.push_back(run[i]);
    }
    out += text::sanitize(bytes);
}

// The standard file URL of an absolute path; a path ending with "/" keeps it (a directory URL).
std::string fileURLForPath(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out(fileScheme);
    out.reserve(fileScheme.size() + path.size() + 16);
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '/' || Url::isPathCharacter(ch)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

}  // namespace

std::optional<std::string> SourceURL::acceptAddressBar(const std::optional<std::string>& value) {
    if (!value) {
        return std::nullopt;
    }
    const std::string_view trimmed = text::trimWhitespaceAndNewlines(*value);
    // Only the scheme is tested, and no non-ASCII letter lower-cases into one of these schemes.
    const std::string lower = text::asciiLower(trimmed.substr(0, 8));
    size_t prefixLength = 0;
    if (lower.starts_with("https://")) {
        prefixLength = 8;
    } else if (lower.starts_with("http://") || lower.starts_with("file://")) {
        prefixLength = 7;
    } else {
        return std::nullopt;
    }
    if (text::codePointCount(trimmed) <= prefixLength) {
        return std::nullopt;
    }
    return text::sanitize(trimmed);
}

std::string SourceURL::clean(std::string_view url) {
    const std::string_view base = url.substr(0, url.find('#'));
    const size_t question = base.find('?');
    if (question == std::string_view::npos) {
        return std::string(base);
    }
    const std::string_view head = base.substr(0, question);
    std::vector<std::string_view> kept;
    bool dropped = false;
    for (std::string_view piece : split(base.substr(question + 1), '&')) {
        const std::string_view rawName = piece.substr(0, piece.find('='));
        const std::string name = Url::percentDecode(rawName).value_or(std::string(rawName));
        // The tracking names are ASCII without "k", so ASCII lower-casing decides as the full
        // Unicode mapping would (only the Kelvin sign lower-cases into ASCII).
        if (contains(trackingParameters, text::asciiLower(name))) {
            dropped = true;
        } else {
            kept.push_back(piece);
        }
    }
    if (!dropped) {
        return std::string(base);
    }
    std::erase_if(kept, [](std::string_view piece) { return piece.empty(); });
    std::string out(head);
    for (size_t i = 0; i < kept.size(); ++i) {
        out.push_back(i == 0 ? '?' : '&');
        out.append(kept[i]);
    }
    return out;
}

std::string SourceURL::unquote(std::string_view text) {
    if (text.find('%') == std::string_view::npos) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto size = static_cast<int32_t>(text.size());
    int32_t runStart = 0;
    int32_t i = 0;
    while (i < size) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        flushRun(text.substr(static_cast<size_t>(runStart), static_cast<size_t>(i - runStart)),
                 out);
        const int32_t at = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, size, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text.substr(static_cast<size_t>(at), static_cast<size_t>(i - at)));
        }
        runStart = i;
    }
    flushRun(text.substr(static_cast<size_t>(runStart)), out);
    return out;
}

std::optional<std::string> SourceURL::localPath(std::string_view url) {
    if (url.size() < fileScheme.size() ||
        !text::asciiIEquals(url.substr(0, fileScheme.size()), fileScheme)) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(fileScheme.size());
    if (!rest.starts_with('/')) {
        return std::nullopt;
    }
    rest = rest.substr(0, rest.find_first_of("#?"));
    std::string path = unquote(rest);
    if (!path.starts_with('/') || path.starts_with("//")) {
        return std::nullopt;
    }
    // A NUL cannot be part of a file name; such a path would name a different, shorter file.
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return path;
}

std::string SourceURL::standardFile(std::string_view url) {
    if (auto path = localPath(url)) {
        return fileURLForPath(*path);
    }
    return std::string(url);
}

std::string SourceURL::fileURL(std::string_view path) {
    return fileURLForPath(path);
}

SourceURL::LocalFacts SourceURL::inspect(const std::string& path,
                                         const RunnableQuery& systemSaysRunnable) {
    namespace fs = std::filesystem;
    // Every link and "." or ".." is resolved the way the kernel walks the path, so that a link
    // folder followed by ".." leads where opening it would lead.
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return LocalFacts{};
    }
    const std::string resolved = real;
    std::free(real);
    std::error_code ec;
    const fs::file_status status = fs::status(resolved, ec);
    if (ec || !fs::exists(status)) {
        return LocalFacts{};
    }
    LocalFacts facts;
    facts.exists = true;
    facts.isDirectory = fs::is_directory(status);
    facts.systemSaysRunnable = systemSaysRunnable && systemSaysRunnable(resolved);
    facts.hasExecutePermission = !facts.isDirectory && ::access(resolved.c_str(), X_OK) == 0;
    facts.resolved = resolved;
    return facts;
}

namespace {

// Whether a path's name says it runs something: its last extension, or a folder of it that is an
// application bundle.
bool namedRunnable(std::string_view path) {
    std::vector<std::string> components;
    for (std::string_view piece : split(path, '/')) {
        if (!piece.empty()) {
            components.push_back(PyText::lower(piece));
        }
    }
    // The extension is the last non-empty piece between dots: "x.sh." and ".sh" both end in "sh".
    if (!components.empty() && components.back().find('.') != std::string::npos) {
        std::string_view extension;
        for (std::string_view piece : split(components.back(), '.')) {
            if (!piece.empty()) {
                extension = piece;
            }
        }
        if (!extension.empty() && contains(runnableExtensions, extension)) {
            return true;
        }
    }
    // A file inside an application bundle counts as the bundle.
    return std::any_of(components.begin(), components.end(),
                       [](const std::string& component) { return component.ends_with(".app"); });
}

}  // namespace

SourceURL::LocalOpen SourceURL::judgeLocal(std::string_view url, const FactsQuery& facts) {
    const std::optional<std::string> path = localPath(url);
    if (!path) {
        return Unsupported{};
    }
    const LocalFacts found = facts ? facts(*path) : LocalFacts{};
    if (!found.exists) {
        return Missing{};
    }
    // A link named like a document may lead to a program, and one named like a program to a
    // document; either way it is refused.
    const std::string& target = found.resolved.empty() ? *path : found.resolved;
    if (namedRunnable(*path) || namedRunnable(target)) {
        return Runnable{};
    }
    if (found.systemSaysRunnable || (found.hasExecutePermission && !found.isDirectory)) {
        return Runnable{};
    }
    return Open{target};
}

}  // namespace parlendo
