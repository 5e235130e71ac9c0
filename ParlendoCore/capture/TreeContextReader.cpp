#include "capture/TreeContextReader.h"

#include "foundation/Log.h"
#include "lookup/SourceURL.h"
#include "lookup/TitleKey.h"
#include "saving/CaptureSnapshot.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>

namespace parlendo {

namespace {

constexpr int webAreaNodes = 400;
constexpr int webAreaDepth = 12;
constexpr int addressBarNodes = 200;
constexpr int addressBarDepth = 6;
constexpr int documentNodes = 60;
constexpr int documentDepth = 4;
// A list of at least this many pages is a paged document, not worth the budget.
constexpr size_t pageListLength = 9;

// Identifiers of the address fields of the browsers that name theirs.
constexpr std::array<std::string_view, 3> addressFieldIDs = {"WEB_BROWSER_ADDRESS_AND_SEARCH_FIELD",
                                                             "urlbar-input", "omnibox"};

bool isAddressField(AccessibleNode& node) {
    if (const auto id = node.identifier()) {
        for (const auto known : addressFieldIDs) {
            if (*id == known) {
                return true;
            }
        }
    }
    return node.role() == AccessibleNode::Role::entry;
}

// How many more elements a walk with `nodes` left on its counter may visit.
size_t remaining(int nodes) {
    return nodes > 0 ? static_cast<size_t>(nodes) : 0;
}

std::string okOrNone(const std::optional<std::string>& value) {
    return value ? "ok" : "none";
}

// A document address when it names a local file.
std::optional<std::string> fileAddress(std::optional<std::string> url) {
    if (url && SourceURL::localPath(*url)) {
        return url;
    }
    return std::nullopt;
}

}  // namespace

TreeContextReader::TreeContextReader(std::shared_ptr<WindowPort> windows,
                                     std::shared_ptr<AccessibilityPort> accessibility,
                                     std::shared_ptr<const MonotonicClock> clock,
                                     std::shared_ptr<DesktopDocuments> documents)
    : windows_(std::move(windows)),
      accessibility_(std::move(accessibility)),
      clock_(std::move(clock)),
      documents_(std::move(documents)) {}

WindowIdentity TreeContextReader::identity(const RunningApplication& app) {
    return windows_->identity(app);
}

std::optional<std::string> TreeContextReader::findWebAreaURL(AccessibleNode& element, int depth,
                                                             int& nodes, const ReadBudget& budget) {
    --nodes;
    if (nodes < 1 || depth > webAreaDepth || budget.expired()) {
        return std::nullopt;
    }
    const auto role = element.role();
    if (role == AccessibleNode::Role::webArea) {
        // A browser keeps the pages of its background tabs in the tree, hidden.
        return element.showing() ? element.documentURL() : std::nullopt;
    }
    if (role == AccessibleNode::Role::embedded) {
        return std::nullopt;
    }
    // The walk visits at most `nodes` more elements; the page-list test needs the first few.
    const auto children =
        element.children(std::max(remaining(nodes), static_cast<size_t>(pageListLength)));
    if (children.size() >= pageListLength && children.front() &&
        children.front()->role() == AccessibleNode::Role::page) {
        return std::nullopt;
    }
    for (const auto& child : children) {
        if (!child) {
            continue;
        }
        if (auto url = findWebAreaURL(*child, depth + 1, nodes, budget); url && !url->empty()) {
            return url;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TreeContextReader::addressBarValue(AccessibleNode& window,
                                                              const ReadBudget& budget) {
    int nodes = addressBarNodes;
    std::function<std::optional<std::string>(AccessibleNode&, int)> find =
        [&](AccessibleNode& element, int depth) -> std::optional<std::string> {
        --nodes;
        if (nodes < 1 || depth > addressBarDepth || budget.expired()) {
            return std::nullopt;
        }
        if (isAddressField(element)) {
            return element.value();
        }
        for (const auto& child : element.children(remaining(nodes))) {
            if (!child) {
                continue;
            }
            if (auto value = find(*child, depth + 1)) {
                return value;
            }
        }
        return std::nullopt;
    };
    for (const auto& child : window.children(addressBarNodes)) {
        if (!child || child->role() != AccessibleNode::Role::toolbar) {
            continue;
        }
        if (auto value = find(*child, 0)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TreeContextReader::documentURL(AccessibleNode& window,
                                                          const ReadBudget& budget) {
    if (auto url = fileAddress(window.documentURL())) {
        return url;
    }
    int nodes = documentNodes;
    std::function<std::optional<std::string>(AccessibleNode&, int)> find =
        [&](AccessibleNode& element, int depth) -> std::optional<std::string> {
        --nodes;
        if (nodes < 1 || depth > documentDepth || budget.expired()) {
            return std::nullopt;
        }
        const auto role = element.role();
        if (role == AccessibleNode::Role::webArea) {
            // A web page's address is the web address, kept only when the window stays.
            return std::nullopt;
        }
        if (role == AccessibleNode::Role::document) {
            return fileAddress(element.documentURL());
        }
        for (const auto& child : element.children(remaining(nodes))) {
            if (!child) {
                continue;
            }
            if (auto url = find(*child, depth + 1)) {
                return url;
            }
        }
        return std::nullopt;
    };
    for (const auto& child : window.children(documentNodes)) {
        if (!child) {
            continue;
        }
        if (auto url = find(*child, 0)) {
            return url;
        }
    }
    return std::nullopt;
}

std::optional<ReadingContext> TreeContextReader::read(
    const std::optional<RunningApplication>& app) {
    if (!app) {
        return std::nullopt;
    }
    const double t0 = clock_->uptime();
    const ReadBudget budget(ContextReadTimes::total, t0, clock_);
    const WindowIdentity window = windows_->identity(*app);
    const std::string& bundle = window.bundleID;
    std::optional<std::string> documentAddress;
    std::optional<std::string> webURL;
    if (!budget.expired()) {
        accessibility_->setCallTimeout(ContextReadTimes::perCall);
        if (const auto focused = accessibility_->activeWindow(*app)) {
            documentAddress = documentURL(*focused, budget);
            if (!TitleKey::isBrowser(bundle)) {
                Log::write("context", "웹 주소 안 씀 — 브라우저 아님 app=" + bundle);
            } else {
                int nodes = webAreaNodes;
                webURL = findWebAreaURL(*focused, 0, nodes, budget);
                if (!webURL && !budget.expired()) {
                    if (const auto value = addressBarValue(*focused, budget)) {
                        webURL = SourceURL::acceptAddressBar(*value);
                        Log::write("context", "주소창에서 읽음 app=" + bundle +
                                                  " accepted=" + (webURL ? "true" : "false"));
                    }
                }
            }
        }
    }
    // What the desktop records is read without asking the application, so the budget does not
    // bound it.
    if (!documentAddress && documents_ && !TitleKey::isBrowser(bundle)) {
        if (auto found = documents_->find(app->pid, window.title)) {
            documentAddress = std::move(found->url);
            Log::write("context", "문서 파일 찾음 from=" + found->from + " app=" + bundle);
        }
    }
    if (budget.expired()) {
        char line[512];
        std::snprintf(
            line, sizeof line,
            "읽기 상한 %.2f초를 넘김 app=%s ms=%.0f title=%s doc=%s url=%s — 읽은 데까지로 "
            "간다",
            ContextReadTimes::total, bundle.c_str(), budget.elapsed() * 1000,
            okOrNone(window.title).c_str(), okOrNone(documentAddress).c_str(),
            okOrNone(webURL).c_str());
        Log::write("context", line);
    }
    const RunningApplication front = windows_->frontmost().value_or(*app);
    const WindowIdentity after = windows_->identity(front);
    const bool hadURL = webURL.has_value();
    webURL = SourceStability::stableURL(window, after, webURL);
    if (hadURL && !webURL) {
        Log::write("context",
                   "URL 버림 — 읽는 사이 창이 바뀜 (" + bundle + " → " + after.bundleID + ")");
    }
    return ReadingContext{window, window.title, std::move(documentAddress), std::move(webURL)};
}

}  // namespace parlendo
