#include "projects/DriveText.h"

#include "foundation/PyText.h"
#include "foundation/SHA256.h"
#include "foundation/Text.h"
#include "projects/DriveLimits.h"

#include <algorithm>

namespace parlendo::DriveText {

std::string clean(std::string text) {
    if (text.find('\0') == std::string::npos) {
        return text;
    }
    std::erase(text, '\0');
    return text;
}

std::string sha(const std::vector<std::string>& pages) {
    size_t size = pages.empty() ? 0 : pages.size() - 1;
    for (const auto& page : pages) {
        size += page.size();
    }
    std::string joined;
    joined.reserve(size);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0) {
            joined += pageSeparator;
        }
        joined += pages[i];
    }
    return SHA256::hex(joined);
}

bool hasText(const std::vector<std::string>& pages) {
    size_t total = 0;
    for (const auto& page : pages) {
        total += PyText::count(PyText::strip(page));
        if (total >= static_cast<size_t>(DriveLimits::noTextMinChars)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> bounded(const Json* value, size_t max) {
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    std::string trimmed = PyText::strip(value->get_ref<const std::string&>());
    const size_t n = PyText::count(trimmed);
    if (n < 1 || n > max) {
        return std::nullopt;
    }
    return trimmed;
}

std::string snippet(const Json* value) {
    if (!value || !value->is_string()) {
        return "";
    }
    const std::u32string scalars = text::toCodePoints(value->get_ref<const std::string&>());
    std::u32string out;
    bool pendingSpace = false;
    const auto limit = static_cast<size_t>(DriveLimits::mapSnippetChars);
    for (char32_t c : scalars) {
        if (PyText::isSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) {
            if (out.size() >= limit) {
                break;
            }
            out += U' ';
            pendingSpace = false;
        }
        if (out.size() >= limit) {
            break;
        }
        out += c;
    }
    return text::fromCodePoints(out);
}

bool isLocalPDFPath(std::string_view path) {
    if (!path.starts_with("/") || path.starts_with("//")) {
        return false;
    }
    return text::endsWith(text::asciiLower(path), ".pdf");
}

bool isLocalPDFPath(const Json* value) {
    return value && value->is_string() && isLocalPDFPath(value->get_ref<const std::string&>());
}

std::string lastPathComponent(std::string_view path) {
    size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        return path.empty() ? "" : "/";
    }
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(path.substr(start, end - start));
}

std::string fileName(std::string_view path) {
    std::string name = clean(text::nfc(lastPathComponent(path)));
    name = PyText::prefix(name, static_cast<size_t>(DriveLimits::fileNameMax));
    return name.empty() ? "document.pdf" : name;
}

}  // namespace parlendo::DriveText
