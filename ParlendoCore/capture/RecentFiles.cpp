#include "capture/RecentFiles.h"

#include "foundation/RuntimePaths.h"
#include "foundation/Text.h"
#include "lookup/SourceURL.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

namespace parlendo::RecentFiles {

namespace {

constexpr std::string_view bookmarkNamespace =
    "http://www.freedesktop.org/standards/desktop-bookmarks";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == ':';
}

int digits(std::string_view s, size_t at, size_t count) {
    if (at + count > s.size()) {
        return -1;
    }
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return -1;
        }
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

// "2024-05-01T10:20:30.123456Z" as seconds since 1970; 0 when it is not such a time.
double isoSeconds(std::string_view s) {
    const int year = digits(s, 0, 4);
    const int month = digits(s, 5, 2);
    const int day = digits(s, 8, 2);
    const int hour = digits(s, 11, 2);
    const int minute = digits(s, 14, 2);
    const int second = digits(s, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60 || s[4] != '-' || s[7] != '-' ||
        (s[10] != 'T' && s[10] != ' ') || s[13] != ':' || s[16] != ':') {
        return 0;
    }
    double fraction = 0;
    double scale = 0.1;
    for (size_t i = 20; s.size() > 19 && s[19] == '.' && i < s.size() && s[i] >= '0' && s[i] <= '9';
         ++i, scale /= 10) {
        fraction += (s[i] - '0') * scale;
    }
    const long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days) * 86400 + hour * 3600 + minute * 60 + second + fraction;
}

// The time an application element records: "modified" (ISO 8601), or the older "timestamp"
// (seconds since 1970).
double applicationTime(const std::map<std::string, std::string>& attributes) {
    if (const auto it = attributes.find("modified"); it != attributes.end()) {
        return isoSeconds(it->second);
    }
    if (const auto it = attributes.find("timestamp"); it != attributes.end()) {
        const int length = static_cast<int>(std::min<size_t>(it->second.size(), 18));
        double seconds = 0;
        for (int i = 0; i < length; ++i) {
            const char c = it->second[static_cast<size_t>(i)];
            if (c < '0' || c > '9') {
                return 0;
            }
            seconds = seconds * 10 + (c - '0');
        }
        return seconds;
    }
    return 0;
}

// A strict reader of the XML that the list is written in: elements, attributes with the
// predefined and numeric character references, comments, processing instructions, CDATA and a
// document type without an internal subset (so that no entity is ever declared or expanded).
// Text content is skipped: the list keeps what it needs in attributes.
class XbelReader {
  public:
    explicit XbelReader(std::string_view xml) : s_(xml) {}

    Result<std::vector<RecentFile>, Failure> run() {
        if (s_.starts_with("\xEF\xBB\xBF")) {
            pos_ = 3;  // a byte order mark
        }
        while (pos_ < s_.size()) {
            if (s_[pos_] != '<') {
                if (!skipText()) {
                    return fail(Failure::malformed);
                }
                continue;
            }
            if (!markup()) {
                return fail(Failure::malformed);
            }
        }
        if (!rootClosed_ || !stack_.empty()) {
            return fail(Failure::malformed);  // empty, or cut short
        }
        return std::move(entries_);
    }

  private:
    struct Element {
        std::string name;  // as written, prefix included
        std::string space;
        std::string local;
        std::map<std::string, std::string> prefixes;
    };

    // Text between markup: after the root only white space may stand.
    bool skipText() {
        const size_t end = std::min(s_.find('<', pos_), s_.size());
        if (stack_.empty()) {
            for (size_t i = pos_; i < end; ++i) {
                if (!isSpace(s_[i])) {
                    return false;
                }
            }
        }
        pos_ = end;
        return true;
    }

    bool skipPast(std::string_view terminator) {
        const size_t end = s_.find(terminator, pos_);
        if (end == std::string_view::npos) {
            return false;
        }
        pos_ = end + terminator.size();
        return true;
    }

    bool markup() {
        const std::string_view rest = s_.substr(pos_);
        if (rest.starts_with("<?")) {
            return skipPast("?>");
        }
        if (rest.starts_with("<!--")) {
            return skipPast("-->");
        }
        if (rest.starts_with("<![CDATA[")) {
            return !stack_.empty() && skipPast("]]>");
        }
        if (rest.starts_with("<!")) {
            // A document type: refused when it declares anything of its own.
            const size_t end = s_.find('>', pos_);
            if (end == std::string_view::npos || seenRoot_ ||
                s_.substr(pos_, end - pos_).find('[') != std::string_view::npos) {
                return false;
            }
            pos_ = end + 1;
            return true;
        }
        if (rest.starts_with("</")) {
            return endTag();
        }
        return startTag();
    }

    std::string readName() {
        const size_t start = pos_;
        while (pos_ < s_.size() && isNameCharacter(s_[pos_])) {
            ++pos_;
        }
        return std::string(s_.substr(start, pos_ - start));
    }

    void skipSpace() {
        while (pos_ < s_.size() && isSpace(s_[pos_])) {
            ++pos_;
        }
    }

    // An attribute value with its character references replaced; none when it is malformed.
    static std::optional<std::string> decode(std::string_view raw) {
        std::string out;
        out.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (c == '<') {
                return std::nullopt;
            }
            if (c != '&') {
                out.push_back(c);
                continue;
            }
            const size_t end = raw.find(';', i);
            if (end == std::string_view::npos || end - i > 12) {
                return std::nullopt;
            }
            const std::string_view entity = raw.substr(i + 1, end - i - 1);
            if (entity == "amp") {
                out.push_back('&');
            } else if (entity == "lt") {
                out.push_back('<');
            } else if (entity == "gt") {
                out.push_back('>');
            } else if (entity == "quot") {
                out.push_back('"');
            } else if (entity == "apos") {
                out.push_back('\'');
            } else if (entity.size() > 1 && entity[0] == '#') {
                const bool hex = entity[1] == 'x';
                const std::string_view number = entity.substr(hex ? 2 : 1);
                if (number.empty()) {
                    return std::nullopt;
                }
                unsigned long value = 0;
                for (const char d : number) {
                    int v = -1;
                    if (d >= '0' && d <= '9') {
                        v = d - '0';
                    } else if (hex && d >= 'a' && d <= 'f') {
                        v = d - 'a' + 10;
                    } else if (hex && d >= 'A' && d <= 'F') {
                        v = d - 'A' + 10;
                    }
                    if (v < 0) {
                        return std::nullopt;
                    }
                    value = value * (hex ? 16 : 10) + static_cast<unsigned long>(v);
                }
                if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
                    return std::nullopt;
                }
                out += text::fromCodePoint(static_cast<char32_t>(value));
            } else {
                return std::nullopt;  // no other entity is declared
            }
            i = end;
        }
        return out;
    }

    std::string resolve(const std::string& prefix, const Element& self) const {
        if (const auto it = self.prefixes.find(prefix); it != self.prefixes.end()) {
            return it->second;
        }
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
            if (const auto found = it->prefixes.find(prefix); found != it->prefixes.end()) {
                return found->second;
            }
        }
        return {};
    }

    bool startTag() {
        ++pos_;  // "<"
        Element element;
        element.name = readName();
        if (element.name.empty() || (rootClosed_ && stack_.empty())) {
            return false;  // a second root
        }
        std::map<std::string, std::string> attributes;
        bool empty = false;
        for (;;) {
            const size_t before = pos_;
            skipSpace();
            if (pos_ >= s_.size()) {
                return false;
            }
            if (s_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (s_.substr(pos_).starts_with("/>")) {
                pos_ += 2;
                empty = true;
                break;
            }
            if (pos_ == before) {
                return false;  // attributes are separated by white space
            }
            const std::string name = readName();
            skipSpace();
            if (name.empty() || pos_ >= s_.size() || s_[pos_] != '=') {
                return false;
            }
            ++pos_;
            skipSpace();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
                return false;
            }
            const char quote = s_[pos_++];
            const size_t end = s_.find(quote, pos_);
            if (end == std::string_view::npos) {
                return false;
            }
            auto value = decode(s_.substr(pos_, end - pos_));
            pos_ = end + 1;
            if (!value || !attributes.emplace(name, *value).second) {
                return false;  // malformed or repeated
            }
            if (name == "xmlns") {
                element.prefixes[""] = *value;
            } else if (name.starts_with("xmlns:")) {
                element.prefixes[name.substr(6)] = *value;
            }
        }
        const size_t colon = element.name.find(':');
        const std::string prefix = colon == std::string::npos ? "" : element.name.substr(0, colon);
        element.local = colon == std::string::npos ? element.name : element.name.substr(colon + 1);
        element.space = resolve(prefix, element);
        if (!prefix.empty() && element.space.empty()) {
            return false;  // an undeclared prefix
        }
        if (!open(element, attributes)) {
            return false;
        }
        if (empty) {
            close(element);
        } else {
            stack_.push_back(std::move(element));
            if (stack_.size() > maxDepth) {
                return false;
            }
        }
        return true;
    }

    bool endTag() {
        pos_ += 2;  // "</"
        const std::string name = readName();
        skipSpace();
        if (stack_.empty() || name != stack_.back().name || pos_ >= s_.size() || s_[pos_] != '>') {
            return false;
        }
        ++pos_;
        const Element element = std::move(stack_.back());
        stack_.pop_back();
        close(element);
        return true;
    }

    // What the list means: a root "xbel", its "bookmark" children with their "href", and the
    // "application" elements of the desktop-bookmarks namespace inside a bookmark.
    bool open(const Element& element, const std::map<std::string, std::string>& attributes) {
        if (stack_.empty()) {
            if (element.local != "xbel" || !element.space.empty()) {
                return false;
            }
            seenRoot_ = true;
            return true;
        }
        if (stack_.size() == 1 && element.local == "bookmark" && element.space.empty()) {
            current_.reset();
            if (const auto href = attributes.find("href"); href != attributes.end()) {
                current_ = RecentFile{href->second, {}};
            }
            return true;
        }
        if (current_ && element.local == "application" && element.space == bookmarkNamespace) {
            RecentFile::Application application;
            if (const auto it = attributes.find("name"); it != attributes.end()) {
                application.name = it->second;
            }
            if (const auto it = attributes.find("exec"); it != attributes.end()) {
                application.exec = it->second;
            }
            application.modified = applicationTime(attributes);
            current_->applications.push_back(std::move(application));
        }
        return true;
    }

    void close(const Element& element) {
        if (stack_.empty()) {
            rootClosed_ = true;
        } else if (stack_.size() == 1 && element.local == "bookmark" && element.space.empty()) {
            if (current_) {
                entries_.push_back(std::move(*current_));
            }
            current_.reset();
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::vector<Element> stack_;
    bool seenRoot_ = false;
    bool rootClosed_ = false;
    std::optional<RecentFile> current_;
    std::vector<RecentFile> entries_;
};

// The program of a command line: its first word without quotes, as a lower-cased file name.
std::string program(std::string_view exec) {
    std::string unquoted;
    for (const char c : exec) {
        if (c != '\'' && c != '"') {
            unquoted.push_back(c);
        }
    }
    const std::string_view trimmed = text::trimAscii(unquoted);
    const std::string_view first = trimmed.substr(0, trimmed.find_first_of(" \t"));
    return text::asciiLower(std::filesystem::path(first).filename().string());
}

}  // namespace

std::string_view toString(Failure failure) {
    switch (failure) {
        case Failure::missing:
            return "missing";
        case Failure::unreadable:
            return "unreadable";
        case Failure::tooLarge:
            return "too_large";
        case Failure::malformed:
            return "malformed";
    }
    return "unreadable";
}

std::filesystem::path defaultPath() {
    return RuntimePaths::dataHome(RuntimePaths::processEnvironment()) / "recently-used.xbel";
}

Result<std::vector<RecentFile>, Failure> parse(std::string_view xbel) {
    if (xbel.size() > maxBytes) {
        return fail(Failure::tooLarge);
    }
    return XbelReader(xbel).run();
}

Result<std::vector<RecentFile>, Failure> read(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        return fail(error ? Failure::unreadable : Failure::missing);
    }
    if (!std::filesystem::is_regular_file(file, error)) {
        return fail(Failure::unreadable);
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return fail(Failure::unreadable);
    }
    // One byte past the limit tells a file that is too large, however it grew since.
    std::string bytes(static_cast<size_t>(maxBytes) + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        return fail(Failure::unreadable);
    }
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > maxBytes) {
        return fail(Failure::tooLarge);
    }
    return parse(bytes);
}

bool recordedBy(const RecentFile::Application& application,
                const std::vector<std::string>& programNames) {
    const std::string command = program(application.exec);
    const std::string name = text::asciiLower(text::trimAscii(application.name));
    return std::any_of(programNames.begin(), programNames.end(), [&](const std::string& known) {
        return (!command.empty() && known == command) || (!name.empty() && known == name);
    });
}

std::vector<std::string> openedBy(const std::vector<RecentFile>& entries,
                                  const std::vector<std::string>& programNames) {
    std::vector<std::string> paths;
    for (const auto& entry : entries) {
        const bool opened = std::any_of(
            entry.applications.begin(), entry.applications.end(),
            [&](const RecentFile::Application& app) { return recordedBy(app, programNames); });
        if (!opened) {
            continue;
        }
        auto path = SourceURL::localPath(entry.href);
        if (path && std::find(paths.begin(), paths.end(), *path) == paths.end()) {
            paths.push_back(std::move(*path));
        }
    }
    return paths;
}

}  // namespace parlendo::RecentFiles
