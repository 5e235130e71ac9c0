#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The privacy and diagnostics notice: a Markdown resource of the program, shown once per text.
namespace FirstRunNotice {

inline constexpr const char* resourceName = "approved_notice_ko";
inline constexpr const char* resourceExtension = "md";
// Always shown above the Markdown's sections, and part of the fingerprint.
inline constexpr const char* windowTitleSentence =
    "PARLENDO는 지금 읽고 있는 자료에 맞는 뜻을 보여 주기 위해, 캡처 기능이 켜져 있는 동안 보고 "
    "있는 창의 제목(예: 논문 제목)을 수집하며, 그 외의 용도로 사용되지 않습니다.";
inline constexpr const char* defaultTitle = "PARLENDO 개인정보 및 진단 정보 고지";

struct Section {
    std::string heading;  // may be empty
    std::string body;
    bool operator==(const Section&) const = default;
};

struct Parsed {
    std::string title;
    std::vector<Section> sections;
};

// "# " gives the title (only before any heading), "## " starts a section; everything else is
// body text of the current section.
Parsed parse(std::string_view markdown);

// SHA-256 of the fixed sentence, one NUL and the Markdown, as 64 lowercase hex digits.
std::string fingerprint(std::string_view markdown);

// A piece of a body as it is shown: a list item's bullet is "• ", "**x**" is bold, "*x*" or "_x_"
// is italic; the markers themselves are not shown.
struct Span {
    std::string text;
    bool bold = false;
    bool italic = false;
    // The span opens a list item (indented on the page).
    bool listItem = false;
    bool operator==(const Span&) const = default;
};
// The spans of a body, line by line ("\n" kept in the text).
std::vector<Span> spans(std::string_view body);

// The Markdown resource read as text; the empty text (logged) when it is missing or unreadable.
std::string read(const std::optional<std::filesystem::path>& resource);

}  // namespace FirstRunNotice

// Which notice text the user has acknowledged: "notice_seen.json" in the given folder, holding
// the text's fingerprint and the time of acknowledgement. Any thread, one at a time.
class FirstRunState {
  public:
    static constexpr const char* fileName = "notice_seen.json";

    explicit FirstRunState(const std::filesystem::path& directory);

    const std::filesystem::path& file() const { return file_; }

    // True unless the file holds exactly this fingerprint; an unreadable or malformed file is
    // logged and counts as not acknowledged.
    bool needsNotice(const std::string& fingerprint) const;
    // Records the fingerprint with `at` (wall seconds); false (logged) when it cannot be written.
    bool acknowledge(const std::string& fingerprint, double at) const;

    // `at` as "2025-03-01T09:30:00Z".
    static std::string isoTime(double at);

  private:
    std::filesystem::path file_;
};

}  // namespace parlendo
