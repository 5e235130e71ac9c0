#include "FakeAccessibility.h"
#include "FakeSelectionReader.h"
#include "LogCapture.h"
#include "aitalk/ViewerProbe.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Role = AccessibleNode::Role;
using testing::FakeAccessibilityPort;
using testing::FakeClock;
using testing::FakeContextReader;
using testing::FakeNode;
using testing::LogCapture;

const RunningApplication viewerApp{4242, std::string("org.gnome.Evince")};

// A viewer window: a frame, a document view holding `count` pages of 800 points each, stacked
// from y = 0 with 10 points between them, in a view 100...700 tall.
struct ProbeRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeAccessibilityPort> port = std::make_shared<FakeAccessibilityPort>();
    std::shared_ptr<FakeContextReader> context = std::make_shared<FakeContextReader>();
    std::shared_ptr<FakeNode> window = std::make_shared<FakeNode>(Role::window);
    std::shared_ptr<FakeNode> view;
    std::vector<std::shared_ptr<FakeNode>> pages;
    std::optional<std::string> processFile;
    bool searchArea = false;
    LogCapture log;

    explicit ProbeRig(int count = 0) {
        window->nodeName = "book.pdf — Document Viewer";
        window->clock = clock;
        port->window = window;
        if (count > 0) {
            auto panel = window->add(Role::other);
            view = panel->add(Role::document);
            view->ownFrame = DesktopRect{0, 100, 600, 600};
            for (int i = 0; i < count; ++i) {
                auto page = view->add(Role::page);
                page->ownFrame = DesktopRect{10, 100 + i * 810.0 - scroll, 580, 800};
                pages.push_back(page);
            }
            port->focused = view;
        }
    }
    double scroll = 0;
    void scrollTo(double y) {
        for (size_t i = 0; i < pages.size(); ++i) {
            pages[i]->ownFrame =
                DesktopRect{10, 100 + static_cast<double>(i) * 810.0 - y, 580, 800};
        }
    }
    // Page n holds a line with selected text.
    void select(int n) {
        auto line = pages[static_cast<size_t>(n) - 1]->add(Role::staticText);
        line->selected = TextRange{3, 9};
    }
    ViewerHints probe(const RunningApplication& app = viewerApp) {
        ViewerProbe probe(
            {port, context, clock,
             [this](std::int32_t, const std::optional<std::string>&) { return processFile; },
             [this](const std::optional<std::string>&) {
                 return searchArea;
             }});
        return probe.probe(app, clock->uptime());
    }
};

TEST(ViewerProbe, FilePathsComeOnlyFromFileAddresses) {
    EXPECT_EQ(ViewerProbe::filePath("file:///home/u/My%20Book.pdf"), "/home/u/My Book.pdf");
    EXPECT_EQ(ViewerProbe::filePath("FILE:///tmp/a/../b/./c.pdf"), "/tmp/b/c.pdf");
    EXPECT_EQ(ViewerProbe::filePath("https://example.com/a.pdf"), std::nullopt);
    EXPECT_EQ(ViewerProbe::filePath("file://bad path%zz"), std::nullopt);
    EXPECT_EQ(ViewerProbe::filePath(std::nullopt), std::nullopt);
}

TEST(ViewerProbe, WithoutPagesOnlyTheApplicationAndItsDocumentAreKnown) {
    ProbeRig rig;
    auto hints = rig.probe();
    EXPECT_EQ(hints.bundleID, viewerApp.bundleID);
    EXPECT_EQ(hints.title, "book.pdf — Document Viewer");
    EXPECT_EQ(hints.documentPath, std::nullopt);
    EXPECT_EQ(hints.route, "none");
    EXPECT_EQ(rig.port->timeouts, std::vector<double>{0.25});
    EXPECT_TRUE(rig.log.messages("ai_talk").empty()) << "no line without a page container";

    rig.port->window = nullptr;
    rig.context->documentURL = "file:///docs/from-context.pdf";
    rig.context->title = "Cafe\xCC\x81";
    hints = rig.probe();
    EXPECT_EQ(hints.documentPath, "/docs/from-context.pdf");
    EXPECT_EQ(hints.title, "Caf\xC3\xA9") << "composed";
    EXPECT_EQ(hints.route, "document_only");
}

TEST(ViewerProbe, TheDocumentComesFromTheTreeThenTheProcessThenTheContext) {
    ProbeRig rig;
    rig.processFile = "/from/process.pdf";
    rig.context->documentURL = "file:///from/context.pdf";
    EXPECT_EQ(rig.probe().documentPath, "/from/process.pdf");
    rig.window->url = "file:///from/window.pdf";
    EXPECT_EQ(rig.probe().documentPath, "/from/window.pdf");
    EXPECT_EQ(rig.context->reads, 0);
    rig.processFile.reset();
    rig.window->url.reset();
    EXPECT_EQ(rig.probe().documentPath, "/from/context.pdf");

    // The page view names its document.
    ProbeRig pages(2);
    pages.processFile = "/from/process.pdf";
    pages.view->url = "file:///from/view.pdf";
    EXPECT_EQ(pages.probe().documentPath, "/from/view.pdf");
}

TEST(ViewerProbe, VisiblePagesComeFromTheViewerOrFromTheirFrames) {
    ProbeRig rig(20);
    // Page indexes of the shown children.
    for (size_t i = 0; i < rig.pages.size(); ++i) {
        rig.pages[i]->index = static_cast<int>(i);
    }
    rig.view->shown = std::vector<std::shared_ptr<FakeNode>>{rig.pages[7], rig.pages[6]};
    auto hints = rig.probe();
    EXPECT_EQ(hints.visiblePages, (std::vector<int>{7, 8}));
    EXPECT_EQ(hints.route, "page_frames");

    // No page numbers: found by a binary search over the frames. Scrolled so that page 6
    // overlaps the view's top by exactly one point, page 7 fully and page 8 partly.
    for (auto& page : rig.pages) {
        page->index.reset();
    }
    rig.view->shown.reset();
    rig.scrollTo(5 * 810.0 + 799.0);
    hints = rig.probe();
    EXPECT_EQ(hints.visiblePages, (std::vector<int>{7}));
    rig.scrollTo(5 * 810.0 + 700.0);
    EXPECT_EQ(rig.probe().visiblePages, (std::vector<int>{6, 7}));
}

TEST(ViewerProbe, TheSelectionScanFindsThePageAndItsNeighbours) {
    ProbeRig rig(10);
    rig.scrollTo(4 * 810.0);  // page 5 fills the view
    rig.select(5);
    rig.select(4);
    auto hints = rig.probe();
    EXPECT_EQ(hints.selectionPages, (std::vector<int>{4, 5}));
    EXPECT_EQ(hints.route, "preview_lines");
    const auto line = rig.log.startingWith("ai_talk", "뷰어 읽기");
    EXPECT_TRUE(
        line.starts_with("뷰어 읽기 route=preview_lines app=org.gnome.Evince pages=10 "
                         "visible=1 selected=2 scanned=1 ms="))
        << line;
}

TEST(ViewerProbe, APageTextHoldingTheSelectionItselfCounts) {
    ProbeRig rig(3);
    rig.pages[1]->selected = TextRange{10, 40};
    rig.pages[0]->selected = TextRange{0, 0};
    EXPECT_EQ(rig.probe().selectionPages, std::vector<int>{2});
}

TEST(ViewerProbe, APageNamingAnotherNumberIsSkipped) {
    ProbeRig rig(3);
    rig.pages[0]->index = 5;
    rig.select(1);
    rig.select(2);
    auto hints = rig.probe();
    EXPECT_EQ(hints.selectionPages, std::vector<int>{2});
    EXPECT_TRUE(rig.log.contains("ai_talk", "scanned=1"));
}

TEST(ViewerProbe, TheScanRespectsItsDeadline) {
    ProbeRig rig(10);
    rig.select(1);
    rig.window->callCost = 0.3;  // the window's reads alone use up the budget
    auto hints = rig.probe();
    EXPECT_TRUE(hints.selectionPages.empty());
    EXPECT_EQ(hints.route, "page_frames");
    EXPECT_TRUE(rig.log.contains("ai_talk", "scanned=0"));
}

TEST(ViewerProbe, TheAreaIsSearchedOnlyWhereTheViewerAsksForIt) {
    ProbeRig rig(2);
    rig.port->focused = rig.window->add(Role::toolbar);  // focus outside the pages
    EXPECT_EQ(rig.probe().route, "none");
    rig.searchArea = true;
    EXPECT_EQ(rig.probe().route, "page_frames");
}

}  // namespace
}  // namespace parlendo
