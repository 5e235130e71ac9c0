#include "projects/OutlineCollector.h"

#include "projects/DriveLimits.h"

#include <algorithm>

namespace parlendo {

OutlineCollector OutlineCollector::collect(const OutlineNode& root) {
    OutlineCollector collector;
    collector.walk(root, 1);
    return collector;
}

void OutlineCollector::walk(const OutlineNode& node, int depth) {
    const int n = node.childCount();
    for (int i = 0; i < n; ++i) {
        if (!wants(depth)) {
            return;
        }
        auto child = node.child(i);
        if (!child) {
            continue;
        }
        visit(child->label(), depth, child->page());
        if (child->childCount() > 0 && wants(depth + 1)) {
            walk(*child, depth + 1);
        }
    }
}

bool OutlineCollector::wants(int depth) {
    constexpr int budget = static_cast<int>(DriveLimits::tocItemsMax);
    if (stopped) {
        return false;
    }
    if (visits >= maxVisits) {
        stopped = "visits";
        return false;
    }
    if (depth > maxDepth) {
        return false;
    }
    if (depth >= 3 && byLevel[0] + byLevel[1] + byLevel[2] > budget) {
        return false;
    }
    if (depth >= 2 && byLevel[0] + byLevel[1] > budget) {
        return false;
    }
    if (byLevel[0] > budget) {
        stopped = "too_many";
        return false;
    }
    return true;
}

void OutlineCollector::visit(std::string title, int depth, std::optional<int> page) {
    ++visits;
    if (!page) {
        return;
    }
    entries.push_back(OutlineEntry{std::move(title), depth, *page});
    ++byLevel[static_cast<size_t>(std::clamp(depth, 1, 3) - 1)];
}

}  // namespace parlendo
