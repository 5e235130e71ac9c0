#pragma once

#include "projects/ExtractedPDF.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The bounded walk over a PDF outline: at most maxVisits items, at most maxDepth levels, and a
// budget of tocItemsMax kept entries given to level 1 first, then to levels 1 and 2, then to all.
// Once a level's budget is spent deeper items are skipped; only an overflow of level 1 stops the
// walk. A value type, used on one thread.
struct OutlineCollector {
    static constexpr int maxDepth = 64;
    static constexpr int maxVisits = 20000;

    std::vector<OutlineEntry> entries;
    std::array<int, 3> byLevel{0, 0, 0};  // kept at level 1, level 2, level 3 and deeper
    int visits = 0;
    std::optional<std::string> stopped;  // "visits" or "too_many"

    // Walks the children of `root`.
    static OutlineCollector collect(const OutlineNode& root);

    // Whether items at `depth` may still be taken in; may stop the walk.
    bool wants(int depth);
    // Counts one item and keeps it when it has a page.
    void visit(std::string title, int depth, std::optional<int> page);

  private:
    void walk(const OutlineNode& node, int depth);
};

}  // namespace parlendo
