#include "projects/DriveToc.h"

#include "foundation/PyText.h"
#include "projects/DriveLimits.h"
#include "projects/DriveText.h"

#include <algorithm>

namespace parlendo {

Json TocItem::json() const {
    return Json{
        {"title", title}, {"level", level}, {"page_start", pageStart}, {"page_end", pageEnd}};
}

namespace DriveToc {
namespace {

std::vector<TocItem> keepBelow(const std::vector<TocItem>& items, int level) {
    std::vector<TocItem> kept;
    std::copy_if(items.begin(), items.end(), std::back_inserter(kept),
                 [level](const TocItem& item) { return item.level < level; });
    return kept;
}

}  // namespace

std::string title(const std::string& label) {
    std::string t = PyText::prefix(PyText::strip(DriveText::clean(label)),
                                   static_cast<size_t>(DriveLimits::tocTitleMax));
    return t.empty() ? "(제목 없음)" : t;
}

Outcome build(const std::vector<OutlineEntry>& entries, int pageCount) {
    const auto maxItems = static_cast<size_t>(DriveLimits::tocItemsMax);
    std::vector<TocItem> items;
    items.reserve(entries.size());
    for (const auto& entry : entries) {
        const int level = std::clamp(entry.level, 1, static_cast<int>(DriveLimits::tocLevelMax));
        items.push_back(TocItem{title(entry.title), level, entry.page, entry.page});
    }
    if (items.empty()) {
        return None{"none"};
    }
    if (items.size() > maxItems) {
        items = keepBelow(items, 3);
        if (items.size() > maxItems) {
            items = keepBelow(items, 2);
            if (items.size() > maxItems) {
                return None{"toc_too_many"};
            }
        }
        if (items.empty()) {
            return None{"none"};
        }
    }
    auto ranged = ranges(std::move(items), pageCount);
    if (!ranged) {
        return None{"toc_invalid"};
    }
    return Items{std::move(*ranged)};
}

std::optional<std::vector<TocItem>> ranges(std::vector<TocItem> items, int pageCount) {
    const size_t n = items.size();
    for (size_t i = 0; i < n; ++i) {
        size_t j = i + 1;
        while (j < n && items[j].level > items[i].level) {
            ++j;
        }
        items[i].pageEnd =
            j < n ? std::max(items[j].pageStart - 1, items[j - 1].pageStart) : pageCount;
    }
    for (const auto& item : items) {
        if (item.pageStart < 1 || item.pageStart > item.pageEnd || item.pageEnd > pageCount) {
            return std::nullopt;
        }
    }
    const TocItem* previousTop = nullptr;
    for (const auto& item : items) {
        if (item.level != 1) {
            continue;
        }
        if (previousTop && item.pageStart < previousTop->pageEnd) {
            return std::nullopt;
        }
        previousTop = &item;
    }
    for (size_t i = 1; i < n; ++i) {
        if (items[i].pageStart < items[i - 1].pageStart) {
            return std::nullopt;
        }
    }
    return items;
}

}  // namespace DriveToc
}  // namespace parlendo
