#include "shell/FirstRunNotice.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/SHA256.h"
#include "foundation/Text.h"

#include <cmath>
#include <ctime>
#include <system_error>

namespace parlendo {

namespace FirstRunNotice {

namespace {

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

Parsed parse(std::string_view markdown) {
    std::string text;
    text.reserve(markdown.size());
    for (size_t i = 0; i < markdown.size(); ++i) {
        if (markdown[i] == '\r' && i + 1 < markdown.size() && markdown[i + 1] == '\n') {
            continue;
        }
        text.push_back(markdown[i]);
    }

    Parsed out;
    std::optional<std::string> heading;
    std::vector<std::string> pending;
    const auto flush = [&] {
        std::string joined;
        for (size_t i = 0; i < pending.size(); ++i) {
            if (i > 0) {
                joined += "\n";
            }
            joined += pending[i];
        }
        std::string body(text::trimWhitespaceAndNewlines(joined));
        if (heading) {
            out.sections.push_back(Section{*heading, std::move(body)});
        } else if (!body.empty()) {
            out.sections.push_back(Section{"", std::move(body)});
        }
        pending.clear();
    };

    size_t start = 0;
    while (true) {
        const auto end = text.find('\n', start);
        const std::string_view line = std::string_view(text).substr(
            start, end == std::string::npos ? std::string::npos : end - start);
        if (line.starts_with("## ")) {
            flush();
            heading = std::string(trimSpacesAndTabs(line.substr(3)));
        } else if (line.starts_with("# ") && out.title.empty() && !heading) {
            out.title = std::string(trimSpacesAndTabs(line.substr(2)));
        } else {
            pending.emplace_back(line);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    flush();
    return out;
}

namespace {

// Emphasis inside one line: "**" toggles bold, a lone "*" or "_" toggles italic when a closing
// marker follows on the line; anything unmatched stays text.
void inlineSpans(std::string_view line, std::vector<Span>& out) {
    bool bold = false;
    bool italic = false;
    std::string text;
    const auto flush = [&] {
        if (!text.empty()) {
            out.push_back(Span{text, bold, italic, false});
            text.clear();
        }
    };
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 2, "**") == 0) {
            if (bold || line.find("**", i + 2) != std::string::npos) {
                flush();
                bold = !bold;
            } else {
                text += "**";
            }
            ++i;
            continue;
        }
        const char c = line[i];
        if ((c == '*' || c == '_') && (italic || line.find(c, i + 1) != std::string::npos)) {
            flush();
            italic = !italic;
            continue;
        }
        text.push_back(c);
    }
    flush();
}

}  // namespace

std::vector<Span> spans(std::string_view body) {
    std::vector<Span> out;
    size_t start = 0;
    while (start <= body.size()) {
        const auto end = std::min(body.find('\n', start), body.size());
        std::string_view line = body.substr(start, end - start);
        const bool listItem = line.starts_with("- ") || line.starts_with("* ");
        if (listItem) {
            out.push_back(Span{"• ", false, false, true});
            line.remove_prefix(2);
        }
        inlineSpans(line, out);
        if (end < body.size()) {
            out.push_back(Span{"\n", false, false, false});
        }
        start = end + 1;
    }
    return out;
}

std::string fingerprint(std::string_view markdown) {
    std::string bytes(windowTitleSentence);
    bytes.push_back('\0');
    bytes.append(markdown);
    return SHA256::hex(bytes);
}

std::string read(const std::optional<std::filesystem::path>& resource) {
    std::optional<std::string> text;
    if (resource) {
        text = fileio::readFile(*resource);
    }
    if (!text || !text::isValidUtf8(*text)) {
        Log::write("notice", "🔴 고지 파일이 번들에 없다 — build_app.sh 를 확인");
        return "";
    }
    return *text;
}

}  // namespace FirstRunNotice

FirstRunState::FirstRunState(const std::filesystem::path& directory)
    : file_(directory / fileName) {}

bool FirstRunState::needsNotice(const std::string& fingerprint) const {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return true;
    }
    const auto text = fileio::readFile(file_);
    const auto value = text ? json::parse(*text) : std::nullopt;
    const auto stored = value ? json::string(*value, "fingerprint") : std::nullopt;
    if (!stored) {
        Log::write("notice",
                   "기록을 읽지 못함 — 안내를 다시 보인다 file=" + file_.filename().string());
        return true;
    }
    return *stored != fingerprint;
}

bool FirstRunState::acknowledge(const std::string& fingerprint, double at) const {
    const Json record{{"fingerprint", fingerprint}, {"seen_at", isoTime(at)}};
    const auto text = json::dump(record);
    const std::error_code ec = text ? fileio::writeAtomically(file_, *text)
                                    : std::make_error_code(std::errc::invalid_argument);
    if (ec) {
        Log::write("notice", "기록 실패 " + Log::describe(ec));
        return false;
    }
    return true;
}

std::string FirstRunState::isoTime(double at) {
    const auto seconds = static_cast<std::time_t>(std::floor(at));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace parlendo
