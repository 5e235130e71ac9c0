#include "lookup/TitleKey.h"

#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "foundation/Regex.h"
#include "foundation/Text.h"
#include "lookup/SourceURL.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>

namespace parlendo {

namespace {

using Rows = std::vector<TitleKey::BrowserTail>;

Rows makeBrowserRows() {
    const std::string unmeasured = "미측정";
    const std::vector<std::string> chrome = {"Chrome", "Google Chrome"};
    const std::vector<std::string> chromium = {"Chromium"};
    const std::vector<std::string> edge = {"Microsoft Edge", "Edge"};
    const std::vector<std::string> firefox = {"Mozilla Firefox", "Firefox"};
    return {
        {"com.apple.Safari", {}, true, "꼬리 없음 — 페이지 제목만 (실측 3건)"},
        {"com.google.Chrome", chrome, true,
         "` - Chrome` (실측 — 프로필이 여럿일 때의 모양은 미측정)"},
        {"org.chromium.Chromium", chromium, false, unmeasured},
        {"com.microsoft.edgemac", edge, false, unmeasured},
        {"org.mozilla.firefox", firefox, false, unmeasured},
        {"com.brave.Browser", {"Brave"}, false, unmeasured},
        {"com.naver.Whale", {"Whale", "네이버 웨일", "웨일"}, false, unmeasured},
        {"com.operasoftware.Opera", {"Opera"}, false, unmeasured},
        {"com.vivaldi.Vivaldi", {"Vivaldi"}, false, unmeasured},
        {"company.thebrowser.Browser", {"Arc"}, false, unmeasured},
        // Linux desktop-file ids; the Flatpak ids of Chrome, Chromium, Firefox, Brave and Vivaldi
        // are the rows above.
        {"firefox", firefox, false, unmeasured},
        {"firefox-esr", firefox, false, unmeasured},
        {"chromium", chromium, false, unmeasured},
        {"chromium-browser", chromium, false, unmeasured},
        {"google-chrome", chrome, false, unmeasured},
        {"google-chrome-beta", chrome, false, unmeasured},
        {"google-chrome-unstable", chrome, false, unmeasured},
        {"brave-browser", {"Brave"}, false, unmeasured},
        {"vivaldi-stable", {"Vivaldi"}, false, unmeasured},
        {"opera", {"Opera"}, false, unmeasured},
        {"com.opera.Opera", {"Opera"}, false, unmeasured},
        {"microsoft-edge", edge, false, unmeasured},
        {"microsoft-edge-beta", edge, false, unmeasured},
        {"microsoft-edge-dev", edge, false, unmeasured},
        {"com.microsoft.Edge", edge, false, unmeasured},
    };
}

Rows makeViewerRows() {
    const std::vector<std::string> libreOffice = {"LibreOffice Writer", "LibreOffice Calc",
                                                  "LibreOffice Impress", "LibreOffice Draw",
                                                  "LibreOffice"};
    return {
        {"org.gnome.Evince", {"Document Viewer", "Evince"}, false, "미측정"},
        {"evince", {"Document Viewer", "Evince"}, false, "미측정"},
        {"org.kde.okular", {"Okular"}, false, "미측정"},
        {"okular", {"Okular"}, false, "미측정"},
        {"atril", {"Atril Document Viewer", "Document Viewer", "Atril"}, false, "미측정"},
        {"xreader", {"Xreader", "Document Viewer"}, false, "미측정"},
        // Editors whose window shows the document's file (often its whole path) before their
        // name.
        {"org.xfce.mousepad", {"Mousepad"}, true, "` - Mousepad` (실측 — 제목에 전체 경로)"},
        {"mousepad", {"Mousepad"}, true, "` - Mousepad` (실측 — 제목에 전체 경로)"},
        {"libreoffice", libreOffice, false, "미측정"},
        {"libreoffice-writer", libreOffice, true, "` - LibreOffice Writer` (실측)"},
        {"libreoffice-calc", libreOffice, false, "미측정"},
        {"libreoffice-impress", libreOffice, false, "미측정"},
        {"libreoffice-draw", libreOffice, false, "미측정"},
        {"org.libreoffice.LibreOffice", libreOffice, false, "미측정"},
        {"org.gnome.gedit", {"gedit"}, false, "미측정"},
        {"gedit", {"gedit"}, false, "미측정"},
    };
}

bool rowMatches(const TitleKey::BrowserTail& row, std::string_view bundleID) {
    const std::string_view prefix = row.bundlePrefix;
    return bundleID == prefix || (bundleID.size() > prefix.size() && bundleID.starts_with(prefix) &&
                                  bundleID[prefix.size()] == '.');
}

// Index of the first matching row, or -1.
int matchingRow(const Rows& rows, const std::optional<std::string>& bundleID) {
    if (!bundleID) {
        return -1;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rowMatches(rows[i], *bundleID)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A space-like character, a hyphen, en dash or em dash, a space-like character, one of the names
// and optional whitespace at the end of the title.
std::optional<Regex> tailPattern(const std::vector<std::string>& names) {
    if (names.empty()) {
        return std::nullopt;
    }
    std::string pattern = "\\s[-\\u2013\\u2014]\\s(?:";
    for (size_t i = 0; i < names.size(); ++i) {
        pattern += (i == 0 ? "\\Q" : "|\\Q") + names[i] + "\\E";
    }
    pattern += ")\\s*$";
    return Regex::make(pattern);
}

// A table's rows with their tail patterns, compiled once.
struct Table {
    Rows rows;
    std::vector<std::optional<Regex>> tails;

    explicit Table(Rows r) : rows(std::move(r)) {
        for (const auto& row : rows) {
            tails.push_back(tailPattern(row.names));
        }
    }

    // The tail pattern of a row, if it has one that compiled.
    const Regex* tail(int row) const {
        const auto& pattern = tails[static_cast<size_t>(row)];
        return pattern && pattern->valid() ? &*pattern : nullptr;
    }
};

const Table& browsers() {
    static const Table table(makeBrowserRows());
    return table;
}

const Table& viewers() {
    static const Table table(makeViewerRows());
    return table;
}

const Regex& previewTail() {
    static const Regex pattern(
        " \\u2013 (?:[0-9]+/[0-9]+\\uD398\\uC774\\uC9C0|[0-9]+\\uD398\\uC774\\uC9C0|"
        "Page [0-9]+ of [0-9]+|[0-9]+ pages?)$");
    return pattern;
}

const Regex& credentialURL() {
    static const Regex pattern("[A-Za-z][A-Za-z0-9+.\\-]{0,30}://[^\\s/@:]+(?::[^\\s@]*)?@\\S*");
    return pattern;
}

const Regex& whitespaceRun() {
    static const Regex pattern("\\s{2,}");
    return pattern;
}

bool isVariationSelector(char32_t cp) {
    return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_VARIATION_SELECTOR) != 0;
}

bool isTag(char32_t cp) {
    return cp >= 0xE0020 && cp <= 0xE007F;
}

// Whether a variation selector may follow `base`: no ASCII character takes one except the digits,
// "#" and "*" of the keycap and slashed-zero sequences.
bool takesVariation(char32_t base) {
    return base >= 0x80 || (base >= '0' && base <= '9') || base == '#' || base == '*';
}

// Invisible code points that could split a word or an address unseen: the zero-width characters,
// every other format character (bidirectional controls, soft hyphen, word joiners, tags) and the
// default-ignorable fillers. Kept: variation selectors after a character that takes one and the
// tag letters of a flag after U+1F3F4 (both are part of an emoji), and the visible prepended
// concatenation marks of Arabic and Syriac.
std::string removeInvisible(std::string_view valid) {
    if (std::all_of(valid.begin(), valid.end(), [](char c) { return (c & 0x80) == 0; })) {
        return std::string(valid);  // no ASCII character is invisible in this sense
    }
    const std::u32string cps = text::toCodePoints(valid);
    std::u32string out;
    out.reserve(cps.size());
    for (const char32_t cp : cps) {
        const auto c = static_cast<UChar32>(cp);
        const bool invisible =
            cp >= 0x80 && (u_charType(c) == U_FORMAT_CHAR ||
                           u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) != 0);
        if (!invisible || u_hasBinaryProperty(c, UCHAR_PREPENDED_CONCATENATION_MARK) != 0) {
            out.push_back(cp);
            continue;
        }
        const char32_t previous = out.empty() ? 0 : out.back();
        if (isVariationSelector(cp) && !out.empty() && takesVariation(previous)) {
            out.push_back(cp);
        } else if (isTag(cp) && (previous == 0x1F3F4 || isTag(previous))) {
            out.push_back(cp);
        }
    }
    if (out.size() == cps.size()) {
        return std::string(valid);
    }
    return text::fromCodePoints(out);
}

// The redacted, cleaned and cut title; empty when nothing is left.
std::string cleanTitle(const std::optional<std::string>& title) {
    if (!title) {
        return {};
    }
    // Invisible characters go first: one inside an address would hide its credentials.
    const std::string visible = removeInvisible(text::sanitize(*title));
    std::string t = TitleKey::stripForKey(TitleKey::redact(visible).title);
    if (text::codePointCount(t) > TitleKey::maxLength) {
        t = PyText::prefix(t, TitleKey::maxLength);
    }
    return t;
}

std::string_view lastPathComponent(std::string_view path) {
    if (path.find_first_not_of('/') == std::string_view::npos) {
        return path.empty() ? path : std::string_view("/");
    }
    while (path.ends_with('/')) {
        path.remove_suffix(1);
    }
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

const std::vector<TitleKey::BrowserTail>& TitleKey::browserTails() {
    return browsers().rows;
}

const std::vector<TitleKey::BrowserTail>& TitleKey::documentViewers() {
    return viewers().rows;
}

TitleKey::Redacted TitleKey::redact(std::string_view title) {
    // Addresses are looked for in the visible text: an invisible character inside one must not
    // hide it. A title without credentials comes back as it was given.
    const std::string visible = removeInvisible(text::sanitize(title));
    if (visible.find("://") == std::string::npos) {
        return {std::string(title), 0};
    }
    const Regex& pattern = credentialURL();
    if (!pattern.valid() || !whitespaceRun().valid()) {
        return {std::string(title), 0};
    }
    const auto count = static_cast<int>(pattern.allMatches(visible).size());
    if (count == 0) {
        return {std::string(title), 0};
    }
    const std::string spaced = whitespaceRun().replaceAll(pattern.replaceAll(visible, " "), " ");
    Log::write("title", "title_redacted count=" + std::to_string(count));
    return {std::string(text::trimWhitespaceAndNewlines(spaced)), count};
}

std::string TitleKey::normalize(const std::optional<std::string>& title) {
    std::string t = cleanTitle(title);
    return t.empty() ? std::string(noTitle) : t;
}

std::optional<std::string> TitleKey::key(const std::optional<std::string>& title) {
    std::string t = cleanTitle(title);
    if (t.empty()) {
        return std::nullopt;
    }
    return t;
}

std::string TitleKey::stripForKey(std::string_view text) {
    return std::string(text::trimWhitespaceAndNewlines(removeInvisible(text::sanitize(text))));
}

bool TitleKey::isBrowser(const std::optional<std::string>& bundleID) {
    return matchingRow(browsers().rows, bundleID) >= 0;
}

std::optional<std::string> TitleKey::fileName(const std::optional<std::string>& url) {
    if (!url) {
        return std::nullopt;
    }
    const std::optional<std::string> path = SourceURL::localPath(*url);
    if (!path) {
        return std::nullopt;
    }
    const std::string_view name = lastPathComponent(*path);
    if (name.empty() || name == "/") {
        return std::nullopt;
    }
    return text::nfc(name);
}

std::optional<std::string> TitleKey::documentTitle(const std::optional<std::string>& title,
                                                   const std::optional<std::string>& bundleID,
                                                   const std::optional<std::string>& documentURL) {
    const bool preview = bundleID && *bundleID == previewBundleID;
    const int viewer = preview ? -1 : matchingRow(viewers().rows, bundleID);
    if (preview || viewer >= 0) {
        if (auto name = fileName(documentURL)) {
            return name;
        }
    }
    if (!title) {
        return std::nullopt;
    }
    const std::string t = stripForKey(*title);
    if (t.empty()) {
        return t;
    }
    const Regex* tail = nullptr;
    if (preview) {
        tail = &previewTail();
    } else if (viewer >= 0) {
        tail = viewers().tail(viewer);
    } else if (const int browser = matchingRow(browsers().rows, bundleID); browser >= 0) {
        tail = browsers().tail(browser);
    }
    if (tail == nullptr || !tail->valid()) {
        return t;
    }
    const std::string replaced = tail->replaceAll(t, "");
    const std::string_view cut = text::trimWhitespaceAndNewlines(replaced);
    return cut.empty() ? t : std::string(cut);
}

std::optional<std::string> TitleKey::contextTitle(const std::optional<std::string>& title,
                                                  const std::optional<std::string>& bundleID) {
    return documentTitle(title, bundleID, std::nullopt);
}

}  // namespace parlendo
