#include "projects/PDFPages.h"

#include "foundation/Text.h"
#include "projects/DriveLimits.h"

#include <algorithm>

namespace parlendo::PDFPages {

Result<std::vector<std::string>, DriveFailure> collect(
    int count, const std::function<std::string(int)>& read) {
    std::vector<std::string> pages;
    pages.reserve(static_cast<size_t>(std::clamp<std::int64_t>(count, 0, DriveLimits::pageMax)));
    std::int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        std::string text = read(i);
        const auto n = static_cast<std::int64_t>(text::codePointCount(text));
        if (n > DriveLimits::pageChars) {
            return fail(DriveFailure("page_text_too_long"));
        }
        total += n;
        if (total > DriveLimits::docChars) {
            return fail(DriveFailure("user_text_quota_exceeded"));
        }
        pages.push_back(std::move(text));
    }
    return pages;
}

}  // namespace parlendo::PDFPages
