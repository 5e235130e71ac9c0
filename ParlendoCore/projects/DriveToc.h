#pragma once

#include "foundation/Json.h"
#include "projects/ExtractedPDF.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// One table-of-contents entry with its page range, as the upload sends it.
struct TocItem {
    std::string title;
    int level = 1;  // 1 to tocLevelMax
    int pageStart = 1;
    int pageEnd = 1;
    bool operator==(const TocItem&) const = default;

    // {"title", "level", "page_start", "page_end"}.
    Json json() const;
};

// Builds a document's table of contents from its outline. Pure functions.
namespace DriveToc {

struct Items {
    std::vector<TocItem> items;
    bool operator==(const Items&) const = default;
};
// No table of contents, and why: "none", "toc_too_many" or "toc_invalid".
struct None {
    std::string reason;
    bool operator==(const None&) const = default;
};
using Outcome = std::variant<Items, None>;

Outcome build(const std::vector<OutlineEntry>& entries, int pageCount);

// Fills every item's end page and checks the ranges; nullopt when they are not valid.
std::optional<std::vector<TocItem>> ranges(std::vector<TocItem> items, int pageCount);

// The title an entry is shown with: cleaned, trimmed, at most tocTitleMax scalars, "(제목 없음)"
// when nothing is left.
std::string title(const std::string& label);

}  // namespace DriveToc
}  // namespace parlendo
