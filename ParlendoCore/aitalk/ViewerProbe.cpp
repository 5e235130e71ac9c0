#include "aitalk/ViewerProbe.h"

#include "aitalk/PageText.h"
#include "foundation/Log.h"
#include "foundation/Text.h"
#include "foundation/Url.h"
#include "projects/DriveLimits.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace parlendo {

namespace {

bool firstChildIsPage(AccessibleNode& element) {
    const auto children = element.children(1);
    return !children.empty() && children.front() &&
           children.front()->role() == AccessibleNode::Role::page;
}

std::optional<int> pageNumber(AccessibleNode& page) {
    if (auto index = page.pageIndex()) {
        return *index + 1;
    }
    return std::nullopt;
}

// The element of page n (1-based) when it is there and does not name another number.
AccessibleNodePtr pageElement(const std::vector<AccessibleNodePtr>& pages, int n) {
    if (n < 1 || static_cast<size_t>(n) > pages.size() || !pages[static_cast<size_t>(n) - 1]) {
        return nullptr;
    }
    const auto& page = pages[static_cast<size_t>(n) - 1];
    const auto number = pageNumber(*page);
    return !number || *number == n ? page : nullptr;
}

bool selectedIn(AccessibleNode& element) {
    const auto range = element.selection();
    return range && range->start >= 0 && range->start < (std::int64_t{1} << 62) - 1 &&
           range->end > range->start;
}

bool visitLines(AccessibleNode& element, int depth, int& budget) {
    if (--budget < 1 || depth >= ViewerProbe::lineDepth) {
        return false;
    }
    const auto role = element.role();
    if (role == AccessibleNode::Role::staticText) {
        return selectedIn(element);
    }
    // Some viewers keep a page's text (and its selection) on the page element itself.
    if (role == AccessibleNode::Role::page && selectedIn(element)) {
        return true;
    }
    for (const auto& child : element.children(static_cast<size_t>(std::max(budget, 0)))) {
        if (child && visitLines(*child, depth + 1, budget)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> nfc(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return text::nfc(*text);
}

}  // namespace

ViewerProbe::ViewerProbe(Ports ports) : ports_(std::move(ports)) {
    if (!ports_.clock) {
        ports_.clock = SystemClock::shared();
    }
}

std::optional<std::string> ViewerProbe::filePath(const std::optional<std::string>& address) {
    if (!address || !text::asciiLower(*address).starts_with("file://")) {
        return std::nullopt;
    }
    const auto url = Url::parse(*address);
    if (!url || text::asciiLower(url->scheme) != "file") {
        return std::nullopt;
    }
    const auto decoded = Url::percentDecode(url->path);
    if (!decoded || decoded->empty() || decoded->front() != '/') {
        return std::nullopt;
    }
    std::string path = std::filesystem::path(*decoded).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

AccessibleNodePtr ViewerProbe::climb(const AccessibleNodePtr& focused) {
    AccessibleNodePtr element = focused;
    for (int level = 0; element && level < climbLevels; ++level) {
        if (firstChildIsPage(*element)) {
            return element;
        }
        element = element->parent();
    }
    return nullptr;
}

AccessibleNodePtr ViewerProbe::findArea(const AccessibleNodePtr& element, int depth, int& nodes,
                                        double deadline) const {
    nodes -= 1;
    if (!element || nodes < 1 || depth > areaDepth || now() > deadline) {
        return nullptr;
    }
    const auto children = element->children(static_cast<size_t>(std::max(nodes, 0)));
    if (!children.empty() && children.front() &&
        children.front()->role() == AccessibleNode::Role::page) {
        return element;
    }
    for (const auto& child : children) {
        if (auto found = findArea(child, depth + 1, nodes, deadline)) {
            return found;
        }
    }
    return nullptr;
}

std::vector<int> ViewerProbe::visibleByFrame(AccessibleNode& area,
                                             const std::vector<AccessibleNodePtr>& pages,
                                             double deadline) const {
    const auto box = area.frame();
    if (!box || box->height <= 0 || pages.empty()) {
        return {};
    }
    const double top = box->y;
    const double bottom = box->y + box->height;
    auto frameOf = [&](size_t index) -> std::optional<DesktopRect> {
        return pages[index] ? pages[index]->frame() : std::nullopt;
    };
    long low = 0;
    long high = static_cast<long>(pages.size()) - 1;
    long middle = -1;
    while (low <= high) {
        if (now() > deadline) {
            return {};
        }
        const long mid = (low + high) / 2;
        const auto frame = frameOf(static_cast<size_t>(mid));
        if (!frame) {
            return {};
        }
        if (frame->y + frame->height < top) {
            if (high <= mid) {
                return {};
            }
            low = mid + 1;
        } else if (bottom < frame->y) {
            if (mid <= low) {
                return {};
            }
            high = mid - 1;
        } else {
            middle = mid;
            break;
        }
    }
    if (middle < 0) {
        return {};
    }
    std::vector<int> out{static_cast<int>(middle) + 1};
    auto walk = [&](long step) {
        for (long i = middle + step; i >= 0 && i < static_cast<long>(pages.size()); i += step) {
            if (now() > deadline) {
                return;
            }
            const auto frame = frameOf(static_cast<size_t>(i));
            if (!frame) {
                return;
            }
            const double left = std::max(frame->x, box->x);
            const double right = std::min(frame->x + frame->width, box->x + box->width);
            const double overlap =
                std::min(frame->y + frame->height, bottom) - std::max(frame->y, top);
            if (right <= left || overlap <= 0 || overlap <= overlapMinimum) {
                return;
            }
            out.push_back(static_cast<int>(i) + 1);
        }
    };
    walk(-1);
    walk(1);
    std::sort(out.begin(), out.end());
    return out;
}

bool ViewerProbe::hasSelectedLine(AccessibleNode& page) {
    int budget = lineBudget;
    return visitLines(page, 0, budget);
}

ViewerHints ViewerProbe::probe(const RunningApplication& app, double t0) const {
    ViewerHints hints;
    hints.bundleID = app.bundleID;
    auto& accessibility = *ports_.accessibility;
    accessibility.setCallTimeout(callTimeout);
    const auto window = accessibility.activeWindow(app);
    if (window) {
        hints.title = nfc(window->name());
        hints.documentPath = filePath(window->documentURL());
    }
    AccessibleNodePtr container = climb(accessibility.focusedElement(app, {}));
    if (!container && window && ports_.searchesArea && ports_.searchesArea(hints.bundleID)) {
        int nodes = areaNodes;
        container = findArea(window, 0, nodes, t0 + areaDeadline);
    }
    std::vector<AccessibleNodePtr> pages;
    int scanned = 0;
    if (container) {
        pages = container->children(static_cast<size_t>(DriveLimits::pageMax));
        scanPages(*container, pages, t0, hints, scanned);
    }
    // The document, when the window does not name it: the page view's own address, the files
    // the viewer's process shows, the window context. Read after the pages, whose reads have a
    // deadline of their own.
    if (!hints.documentPath && container) {
        hints.documentPath = filePath(container->documentURL());
    }
    if (!hints.documentPath && ports_.processDocument) {
        hints.documentPath = ports_.processDocument(app.pid, hints.title);
    }
    if (!hints.documentPath && ports_.context) {
        if (const auto context = ports_.context->read(app)) {
            if (!hints.title && context->title) {
                hints.title = nfc(context->title);
            }
            for (const auto* address : {&context->documentURL, &context->webURL}) {
                if (auto path = filePath(*address)) {
                    hints.documentPath = std::move(path);
                    break;
                }
            }
        }
    }
    if (hints.documentPath && hints.route == "none") {
        hints.route = "document_only";
    }
    if (pages.empty()) {
        return hints;
    }
    char ms[32];
    std::snprintf(ms, sizeof ms, "ms=%.1f", (now() - t0) * 1000);
    Log::write("ai_talk", "뷰어 읽기 route=" + hints.route +
                              " app=" + hints.bundleID.value_or("-") +
                              " pages=" + std::to_string(pages.size()) +
                              " visible=" + std::to_string(hints.visiblePages.size()) +
                              " selected=" + std::to_string(hints.selectionPages.size()) +
                              " scanned=" + std::to_string(scanned) + " " + ms);
    return hints;
}

void ViewerProbe::scanPages(AccessibleNode& container, const std::vector<AccessibleNodePtr>& pages,
                            double t0, ViewerHints& hints, int& scanned) const {
    if (pages.empty()) {
        return;
    }
    std::set<int> visible;
    for (const auto& child : container.visibleChildren(pages.size())) {
        if (child) {
            if (auto number = pageNumber(*child)) {
                visible.insert(*number);
            }
        }
    }
    if (visible.empty()) {
        for (int page : visibleByFrame(container, pages, t0 + pageDeadline)) {
            visible.insert(page);
        }
    }
    hints.visiblePages.assign(visible.begin(), visible.end());
    hints.route = "page_frames";
    auto candidates = PageOrder::around(hints.visiblePages, static_cast<int>(pages.size()));
    if (candidates.size() > pagesScanned) {
        candidates.resize(pagesScanned);
    }
    std::vector<int> selected;
    for (int p : candidates) {
        if (now() > t0 + pageDeadline) {
            break;
        }
        if (p < 1 || static_cast<size_t>(p) > pages.size() || !pages[static_cast<size_t>(p) - 1]) {
            continue;
        }
        auto& page = *pages[static_cast<size_t>(p) - 1];
        if (const auto number = pageNumber(page); number && *number != p) {
            continue;
        }
        scanned += 1;
        if (!hasSelectedLine(page)) {
            continue;
        }
        selected.push_back(p);
        for (int neighbour : {p - 1, p + 1}) {
            if (std::find(selected.begin(), selected.end(), neighbour) != selected.end()) {
                continue;
            }
            if (auto element = pageElement(pages, neighbour);
                element && hasSelectedLine(*element)) {
                selected.push_back(neighbour);
            }
        }
        break;
    }
    if (!selected.empty()) {
        std::sort(selected.begin(), selected.end());
        hints.selectionPages = selected;
        hints.route = "preview_lines";
    }
}

}  // namespace parlendo
