#pragma once

#include "aitalk/ViewerHints.h"
#include "capture/AccessibleNode.h"
#include "capture/ContextReader.h"
#include "foundation/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Reads, through the accessibility tree, what the front application shows of a PDF document at
// the moment of a question: the document's path, the window title, which pages are visible and
// on which the selection sits. Every read is bounded (0.25 s per call), and the page work keeps to
// 0.25 s after the probe's start; the document's path, when the window does not name it, is looked
// for after the pages (in the page view, the files of the viewer's process, the window context).
// It never fails: what it cannot read stays empty, and `route` tells how far it got. Runs where
// the accessibility client runs (the selection-fetch queue).
class ViewerProbe {
  public:
    static constexpr double callTimeout = 0.25;
    static constexpr int climbLevels = 6;
    static constexpr int areaNodes = 500;
    static constexpr int areaDepth = 14;
    static constexpr double areaDeadline = 0.15;
    static constexpr double pageDeadline = 0.25;
    static constexpr size_t pagesScanned = 6;
    static constexpr int lineBudget = 400;
    static constexpr int lineDepth = 10;
    static constexpr double overlapMinimum = 1.0;

    struct Ports {
        std::shared_ptr<AccessibilityPort> accessibility;
        // The window context, read when the tree names no document.
        std::shared_ptr<ContextReader> context;
        std::shared_ptr<const MonotonicClock> clock;
        // The file the process's window titled so shows, from what the desktop records of it,
        // else the one PDF the process holds open.
        std::function<std::optional<std::string>(std::int32_t pid,
                                                 const std::optional<std::string>& title)>
            processDocument;
        // Applications whose pages are searched from the window when the focus is not on them.
        std::function<bool(const std::optional<std::string>& bundleID)> searchesArea;
    };

    explicit ViewerProbe(Ports ports);

    // What the application shows; `t0` is the uptime at which the caller started the probe.
    ViewerHints probe(const RunningApplication& app, double t0) const;

    // The path of a "file://" address (any case of the scheme), standardised; none for anything
    // else or an address that does not parse.
    static std::optional<std::string> filePath(const std::optional<std::string>& address);

    // The container of the pages: the first of the element and its ancestors (6 in all) whose
    // first child is a page.
    static AccessibleNodePtr climb(const AccessibleNodePtr& focused);
    // The first element below `element` whose first child is a page, within the node budget, the
    // depth and the deadline.
    AccessibleNodePtr findArea(const AccessibleNodePtr& element, int depth, int& nodes,
                               double deadline) const;
    // The visible pages of the container by the geometry of its pages.
    std::vector<int> visibleByFrame(AccessibleNode& area,
                                    const std::vector<AccessibleNodePtr>& pages,
                                    double deadline) const;
    // Whether the page holds selected text.
    static bool hasSelectedLine(AccessibleNode& page);

  private:
    double now() const { return ports_.clock->uptime(); }
    // Visible pages, then the selection scan over the best candidates.
    void scanPages(AccessibleNode& container, const std::vector<AccessibleNodePtr>& pages,
                   double t0, ViewerHints& hints, int& scanned) const;

    Ports ports_;
};

}  // namespace parlendo
