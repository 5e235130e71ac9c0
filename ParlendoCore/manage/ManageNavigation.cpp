#include "manage/ManageNavigation.h"

#include "foundation/Text.h"
#include "foundation/Url.h"

#include <array>
#include <vector>

namespace parlendo::ManageNavigation {

namespace {

// The scheme of a URL text (RFC 3986 letters, digits, "+", "-", "."), lower-cased.
std::optional<std::string> schemeOf(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    const auto alpha = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    if (!alpha(url[0])) {
        return std::nullopt;
    }
    for (size_t i = 1; i < colon; ++i) {
        const char c = url[i];
        if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return std::nullopt;
        }
    }
    return text::asciiLower(url.substr(0, colon));
}

// Percent-decoding of bytes; a "%" without two hex digits stays as it is.
std::string decodeBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = Url::hexDigit(text[i + 1]);
            const int low = Url::hexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// The path of a file URL with no query: decoded, without "." and ".." segments. Nothing for any
// other URL, one with a query, or one with a host other than "localhost".
std::optional<std::string> filePath(std::string_view url) {
    if (schemeOf(url) != "file") {
        return std::nullopt;
    }
    std::string_view rest = url.substr(5);
    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
        rest = rest.substr(0, hash);
    }
    if (rest.find('?') != std::string_view::npos) {
        return std::nullopt;
    }
    if (text::startsWith(rest, "//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !text::asciiIEquals(host, "localhost")) {
            return std::nullopt;
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!text::startsWith(rest, "/")) {
        return std::nullopt;
    }
    const std::string decoded = decodeBytes(rest);
    std::vector<std::string> segments;
    size_t start = 1;
    while (start <= decoded.size()) {
        size_t end = decoded.find('/', start);
        if (end == std::string::npos) {
            end = decoded.size();
        }
        const std::string segment = decoded.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (segment != "." && !(segment.empty() && end != decoded.size())) {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string path;
    for (const auto& segment : segments) {
        path += "/" + segment;
    }
    return path.empty() ? "/" : path;
}

}  // namespace

Verdict decide(const std::optional<std::string>& target, const std::optional<std::string>& page) {
    if (page) {
        return isPage(target, *page) ? Verdict::allowed() : Verdict::deny(kind(target));
    }
    return target && *target == "about:blank" ? Verdict::allowed() : Verdict::deny(kind(target));
}

bool trusts(const std::optional<std::string>& current, const std::optional<std::string>& page,
            bool mainFrame) {
    return mainFrame && page && isPage(current, *page);
}

bool isPage(const std::optional<std::string>& url, const std::string& page) {
    if (!url) {
        return false;
    }
    const std::optional<std::string> mine = filePath(*url);
    const std::optional<std::string> theirs = filePath(page);
    return mine && theirs && *mine == *theirs;
}

std::string kind(const std::optional<std::string>& url) {
    const std::optional<std::string> scheme = url ? schemeOf(*url) : std::nullopt;
    if (!scheme) {
        return "none";
    }
    static constexpr std::array<const char*, 6> plain = {"http", "https", "data",
                                                         "blob", "about", "javascript"};
    for (const char* known : plain) {
        if (*scheme == known) {
            return *scheme;
        }
    }
    if (*scheme != "file") {
        return "other";
    }
    std::string_view rest = std::string_view(*url).substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    const std::string name = decodeBytes(rest.substr(rest.rfind('/') + 1));
    const size_t dot = name.rfind('.');
    const bool pdf = dot != std::string::npos && text::asciiLower(name.substr(dot + 1)) == "pdf";
    return pdf ? "file_pdf" : "file_other";
}

bool opensOutside(const std::optional<std::string>& target, bool linkClicked) {
    if (!linkClicked) {
        return false;
    }
    const std::string k = kind(target);
    return k == "http" || k == "https";
}

}  // namespace parlendo::ManageNavigation
