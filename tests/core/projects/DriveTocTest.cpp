#include "LogCapture.h"
#include "projects/DriveToc.h"
#include "projects/OutlineCollector.h"
#include "projects/PDFPages.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

// An outline built in memory. A node may list itself among its children, like an outline whose
// links loop.
struct TreeNode final : OutlineNode {
    struct Data {
        std::string label;
        std::optional<int> page;
        std::vector<std::shared_ptr<Data>> children;
    };
    std::shared_ptr<Data> data;

    explicit TreeNode(std::shared_ptr<Data> d) : data(std::move(d)) {}
    int childCount() const override { return static_cast<int>(data->children.size()); }
    std::unique_ptr<OutlineNode> child(int index) const override {
        auto c = data->children[static_cast<size_t>(index)];
        return c ? std::make_unique<TreeNode>(c) : nullptr;
    }
    std::string label() const override { return data->label; }
    std::optional<int> page() const override { return data->page; }
};

using Data = TreeNode::Data;

std::shared_ptr<Data> item(std::string label, std::optional<int> page,
                           std::vector<std::shared_ptr<Data>> children = {}) {
    return std::make_shared<Data>(Data{std::move(label), page, std::move(children)});
}

std::shared_ptr<Data> flat(int count, int page = 1) {
    auto root = item("", std::nullopt);
    for (int i = 0; i < count; ++i) {
        root->children.push_back(item("item " + std::to_string(i), page));
    }
    return root;
}

TEST(OutlineCollectorTest, KeepsItemsWithPagesDepthFirst) {
    auto root = item("", std::nullopt,
                     {item("Intro", 1, {item("Part", 2, {item("Deep", 3, {item("Deeper", 4)})})}),
                      item("No page", std::nullopt, {item("Orphan", 6)}),
                      nullptr,  // a child the document does not give
                      item("End", 9)});
    const auto c = OutlineCollector::collect(TreeNode(root));
    EXPECT_EQ(c.entries, (std::vector<OutlineEntry>{{"Intro", 1, 1},
                                                    {"Part", 2, 2},
                                                    {"Deep", 3, 3},
                                                    {"Deeper", 4, 4},
                                                    {"Orphan", 2, 6},
                                                    {"End", 1, 9}}));
    EXPECT_EQ(c.visits, 7);  // the missing child is not counted; the pageless one is
    EXPECT_EQ(c.stopped, std::nullopt);
    EXPECT_EQ(c.byLevel, (std::array<int, 3>{2, 2, 2}));
}

TEST(OutlineCollectorTest, TopLevelOverflowStopsTheWalk) {
    const auto many = OutlineCollector::collect(TreeNode(flat(2500)));
    EXPECT_EQ(many.entries.size(), 2001u);
    EXPECT_EQ(many.stopped, "too_many");
    const auto exact = OutlineCollector::collect(TreeNode(flat(2001)));
    EXPECT_EQ(exact.entries.size(), 2001u);
    EXPECT_EQ(exact.stopped, std::nullopt);
}

TEST(OutlineCollectorTest, SpentBudgetsSkipDeeperItemsButKeepShallowOnes) {
    // 1500 top items, the last holding 1000 children: level 2 stops taking items once levels 1
    // and 2 pass 2000; the walk itself goes on.
    auto root = flat(1500);
    for (int i = 0; i < 1000; ++i) {
        root->children.back()->children.push_back(item("child", 1));
    }
    root->children.push_back(item("after", 1));
    const auto c = OutlineCollector::collect(TreeNode(root));
    EXPECT_EQ(c.byLevel[0], 1501);
    EXPECT_EQ(c.byLevel[1], 501);  // taken while levels 1 and 2 held at most 2000
    EXPECT_EQ(c.entries.back().title, "after");
    EXPECT_EQ(c.stopped, std::nullopt);
}

TEST(OutlineCollectorTest, LoopsAndDepthAreBounded) {
    // A node that is its own child: the walk goes 64 levels deep and stops there.
    auto loop = item("loop", 1);
    loop->children.push_back(loop);
    auto root = item("", std::nullopt, {loop});
    const auto deep = OutlineCollector::collect(TreeNode(root));
    EXPECT_EQ(deep.entries.size(), 64u);
    EXPECT_EQ(deep.entries.back().level, 64);
    loop->children.clear();  // break the cycle so the test frees it

    // Pageless items fanning out: the walk ends after 20000 visits.
    auto fan = item("", std::nullopt);
    for (int i = 0; i < 200; ++i) {
        auto mid = item("mid", std::nullopt);
        for (int k = 0; k < 200; ++k) {
            mid->children.push_back(item("leaf", std::nullopt));
        }
        fan->children.push_back(mid);
    }
    const auto wide = OutlineCollector::collect(TreeNode(fan));
    EXPECT_EQ(wide.visits, 20000);
    EXPECT_EQ(wide.stopped, "visits");
    EXPECT_TRUE(wide.entries.empty());
}

TEST(PDFPagesTest, PageAndDocumentLimitsHoldAtTheirBoundaries) {
    const std::string full(20000, 'a');
    auto ok = PDFPages::collect(3, [&](int) { return full; });
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->size(), 3u);
    std::string korean;
    for (int i = 0; i < 20000; ++i) {
        korean += "가";
    }
    EXPECT_TRUE(PDFPages::collect(1, [&](int) { return korean; }));
    EXPECT_EQ(PDFPages::collect(1, [&](int) { return full + "b"; }).error(),
              DriveFailure("page_text_too_long"));
    // 1500 full pages are exactly the document limit; one scalar more is over it.
    EXPECT_TRUE(PDFPages::collect(1500, [&](int) { return full; }));
    int reads = 0;
    auto over = PDFPages::collect(1501, [&](int i) {
        ++reads;
        return i == 1500 ? std::string("x") : full;
    });
    EXPECT_EQ(over.error(), DriveFailure("user_text_quota_exceeded"));
    EXPECT_EQ(reads, 1501);
    EXPECT_TRUE(PDFPages::collect(0, [](int) { return std::string(); })->empty());
}

std::vector<std::pair<int, int>> spans(const DriveToc::Outcome& outcome) {
    std::vector<std::pair<int, int>> out;
    if (const auto* items = std::get_if<DriveToc::Items>(&outcome)) {
        for (const auto& i : items->items) {
            out.emplace_back(i.pageStart, i.pageEnd);
        }
    }
    return out;
}

TEST(DriveTocTest, RangesEndBeforeTheNextEntryOfTheSameOrHigherLevel) {
    const auto toc = DriveToc::build({{"A", 1, 5}, {"A.1", 2, 7}, {"B", 1, 7}}, 10);
    EXPECT_EQ(spans(toc), (std::vector<std::pair<int, int>>{{5, 7}, {7, 7}, {7, 10}}));
    const auto nested = DriveToc::build(
        {{"1", 1, 1}, {"1.1", 2, 2}, {"1.1.1", 3, 3}, {"1.2", 2, 6}, {"2", 1, 9}}, 12);
    EXPECT_EQ(spans(nested),
              (std::vector<std::pair<int, int>>{{1, 8}, {2, 5}, {3, 5}, {6, 8}, {9, 12}}));
    const auto& item = std::get<DriveToc::Items>(toc).items.front();
    EXPECT_EQ(item.json(),
              (Json{{"title", "A"}, {"level", 1}, {"page_start", 5}, {"page_end", 7}}));
}

TEST(DriveTocTest, InvalidOrderAndPagesOutsideTheDocument) {
    EXPECT_EQ(DriveToc::build({{"A", 1, 3}, {"B", 1, 2}}, 10),
              DriveToc::Outcome(DriveToc::None{"toc_invalid"}));
    EXPECT_EQ(DriveToc::build({{"A", 1, 0}}, 10), DriveToc::Outcome(DriveToc::None{"toc_invalid"}));
    EXPECT_EQ(DriveToc::build({{"A", 1, 11}}, 10),
              DriveToc::Outcome(DriveToc::None{"toc_invalid"}));
    EXPECT_EQ(DriveToc::build({}, 10), DriveToc::Outcome(DriveToc::None{"none"}));
    // Two top-level sections may share a page.
    EXPECT_EQ(spans(DriveToc::build({{"A", 1, 4}, {"B", 1, 4}}, 10)),
              (std::vector<std::pair<int, int>>{{4, 4}, {4, 10}}));
}

TEST(DriveTocTest, TitlesLevelsAndCutsOfLargeOutlines) {
    const auto toc = DriveToc::build({{"  \n", 0, 1}, {"Deep", 5, 2}}, 3);
    const auto& items = std::get<DriveToc::Items>(toc).items;
    EXPECT_EQ(items[0].title, "(제목 없음)");
    EXPECT_EQ(items[0].level, 1);
    EXPECT_EQ(items[1].level, 3);
    EXPECT_EQ(DriveToc::title(std::string(130, 'x')), std::string(120, 'x'));

    std::vector<OutlineEntry> entries;
    for (int i = 0; i < 1500; ++i) {
        entries.push_back({"top", 1, 1});
        entries.push_back({"sub", 3, 1});
    }
    const auto cut = DriveToc::build(entries, 1);
    EXPECT_EQ(std::get<DriveToc::Items>(cut).items.size(), 1500u);  // level 3 dropped

    std::vector<OutlineEntry> tooMany(2001, OutlineEntry{"top", 1, 1});
    EXPECT_EQ(DriveToc::build(tooMany, 1), DriveToc::Outcome(DriveToc::None{"toc_too_many"}));
    std::vector<OutlineEntry> deepOnly(2001, OutlineEntry{"deep", 4, 1});
    EXPECT_EQ(DriveToc::build(deepOnly, 1), DriveToc::Outcome(DriveToc::None{"none"}));
}

}  // namespace
}  // namespace parlendo
