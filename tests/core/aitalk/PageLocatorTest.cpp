#include "AITalkRig.h"
#include "aitalk/PageLocator.h"
#include "aitalk/PageText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace parlendo {
namespace {

using testing::AITalkRig;
using testing::readyDocument;

// A clock that moves on by `step` seconds every time it is read.
class SteppingClock final : public MonotonicClock {
  public:
    explicit SteppingClock(double step) : step_(step) {}
    double uptime() const override { return now_.fetch_add(1) * step_; }
    void setStep(double step) { step_ = step; }

  private:
    mutable std::atomic<long> now_{0};
    double step_;
};

std::string bytes(std::string_view text) {
    return std::string(text);
}

TEST(PageText, NormalisingKeepsLettersAndDigitsOnly) {
    EXPECT_EQ(PageText::normalize("Hello, World-Wide 2024!"), bytes("helloworldwide2024"));
    EXPECT_EQ(PageText::normalize("  ...,;  "), bytes(""));
    // Ligatures and full-width letters fold to plain ones; Hangul stays as it is.
    EXPECT_EQ(PageText::normalize("e\xEF\xAC\x80"
                                  "ect ＡＢＣ"),
              bytes("effectabc"));
    EXPECT_EQ(PageText::normalize("한국어 문장."), bytes("한국어문장"));
    EXPECT_EQ(PageText::normalize("ÉCOLE ΣΟΦΙΑ ①"), bytes("écoleσοφια1"));
    // A hyphenated line break and curly quotes do not matter.
    EXPECT_EQ(PageText::normalize("com-\nputer \u201Cscience\u201D"),
              PageText::normalize("computer \"science\""));
}

TEST(PageText, WordsNeedTwoScalars) {
    EXPECT_EQ(PageText::words("A cat, a DOG & 7 dogs; 한 국어"),
              (PageText::Words{"cat", "dog", "dogs", "국어"}));
    EXPECT_EQ(PageText::words("ﬁnd x2 fine"), (PageText::Words{"find", "x2", "fine"}));
}

TEST(PageOrder, HintedPagesComeFirstThenTheGapsThenOutward) {
    EXPECT_EQ(PageOrder::around({5, 7}, 10), (std::vector<int>{5, 7, 6, 8, 4, 9, 3, 10, 2, 1}));
    EXPECT_EQ(PageOrder::around({0, 99}, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(PageOrder::around({2}, 0), std::vector<int>{});
    EXPECT_EQ(PageOrder::around({3, 3}, 4), (std::vector<int>{3, 4, 2, 1}));
}

TEST(PageLocator, DocumentsAreOrderedByLikelihood) {
    std::vector<ReadyDocument> docs{
        readyDocument("old", {"x"}, "2024-01-01", "Old.pdf"),
        readyDocument("hit", {"x"}, "2024-02-01", "other.pdf"),
        readyDocument("titled", {"x"}, "2023-01-01", "Linear Algebra.PDF"),
        readyDocument("new", {"x"}, "2024-03-01", "new.pdf"),
        readyDocument("shown", {"x"}, "2020-01-01", "shown.pdf"),
    };
    auto ids = [](const std::vector<ReadyDocument>& list) {
        std::vector<std::string> out;
        for (const auto& d : list) {
            out.push_back(d.id);
        }
        return out;
    };
    EXPECT_EQ(ids(PageLocator::ordered(docs, "shown", "Linear algebra.pdf — Viewer", "hit")),
              (std::vector<std::string>{"shown", "titled", "hit", "new", "old"}));
    EXPECT_EQ(ids(PageLocator::ordered(docs, std::nullopt, std::nullopt, std::nullopt)),
              (std::vector<std::string>{"new", "hit", "old", "titled", "shown"}));
}

struct LocatorRig : AITalkRig {
    std::shared_ptr<PageLocator> locator =
        std::make_shared<PageLocator>(copies, SystemClock::shared());

    ReadyDocument keep(const std::string& id, const std::vector<std::string>& pages,
                       const std::string& createdAt = "") {
        auto doc = readyDocument(id, pages, createdAt);
        copies->write("user-1", id, pages, doc.sha);
        return doc;
    }
    LocateResult find(const std::vector<ReadyDocument>& docs, const std::string& selection,
                      std::optional<std::string> matched = std::nullopt,
                      std::vector<int> near = {}) {
        return locator->locate("user-1", docs, selection, matched, near, std::nullopt);
    }
};

const std::vector<std::string> book = {
    "Chapter one. The quick brown fox jumps over the lazy dog near the river bank.",
    "Chapter two. Linear maps preserve vector addition and scalar multi-\nplication of vectors.",
    "Chapter three. 한국어 문장도 찾을 수 있어야 한다. The “efficient” algorithm runs fast.",
    "Chapter four. The quick brown fox jumps over the lazy dog near the river bank.",
};

TEST(PageLocator, TheSelectionIsFoundAcrossBreaksLigaturesAndScripts) {
    LocatorRig rig;
    auto doc = rig.keep("doc-1", book);
    auto hit = rig.find({doc}, "preserve vector addition and scalar multiplication");
    EXPECT_EQ(hit.hit, (PageHint{"doc-1", 2}));
    EXPECT_EQ(hit.route, "exact");
    EXPECT_EQ(hit.checked, 2);
    EXPECT_EQ(rig.find({doc}, "The \"eﬃcient\" algorithm").hit, (PageHint{"doc-1", 3}));
    EXPECT_EQ(rig.find({doc}, "찾을 수 있어야").hit, (PageHint{"doc-1", 3}));
    EXPECT_EQ(rig.locator->lastHit(), std::optional<std::string>("doc-1"));
}

TEST(PageLocator, ARepeatedPassageIsFoundNearTheViewerFirst) {
    LocatorRig rig;
    auto doc = rig.keep("doc-1", book);
    const std::string passage = "quick brown fox jumps over the lazy dog";
    EXPECT_EQ(rig.find({doc}, passage).hit, (PageHint{"doc-1", 1}));
    EXPECT_EQ(rig.find({doc}, passage, "doc-1", {4}).hit, (PageHint{"doc-1", 4}));
}

TEST(PageLocator, ShortSelectionsNeedTheViewersDocumentAndPages) {
    LocatorRig rig;
    auto doc = rig.keep("doc-1", {"the word Mississippi appears here"});
    EXPECT_EQ(rig.find({doc}, "....  ,").route, "too_short");
    EXPECT_EQ(rig.find({doc}, "Mississippi").route, "too_short") << "11 bytes";
    EXPECT_EQ(rig.find({doc}, "Mississippi", "doc-1", {1}).route, "exact");
    auto korean = rig.keep("doc-2", {"앞 글 가나다라 뒤 글"});
    EXPECT_EQ(rig.find({korean}, "가나다라").route, "exact") << "four syllables are 12 bytes";
    EXPECT_EQ(rig.find({}, "anything at all here").route, "no_documents");
}

TEST(PageLocator, LongSelectionsAreSearchedByTheirHeadAndTail) {
    LocatorRig rig;
    std::string head(150, 'h');
    std::string tail(150, 't');
    auto doc = rig.keep("doc-1", {"unrelated", "xx" + tail + " yy", "zz" + head + " qq"});
    auto byTail = rig.find({doc}, "changed start " + tail);
    EXPECT_EQ(byTail.route, "exact_tail");
    EXPECT_EQ(byTail.hit, (PageHint{"doc-1", 2}));
    auto byHead = rig.find({doc}, head + " changed end " + tail);
    EXPECT_EQ(byHead.route, "exact");
    EXPECT_EQ(byHead.hit, (PageHint{"doc-1", 3}));
}

TEST(PageLocator, WordsDecideWhenNoPageHoldsTheWholeText) {
    LocatorRig rig;
    auto doc = rig.keep("doc-1", {"alpha beta gamma only", "alpha beta gamma delta here",
                                  "alpha beta only", "alpha beta gamma delta epsilon"});
    // Five words: page 2 has four (0.8), page 4 all five (1.0) and ends the search.
    auto words = rig.find({doc}, "epsilon, delta; gamma — beta alpha");
    EXPECT_EQ(words.route, "words");
    EXPECT_EQ(words.hit, (PageHint{"doc-1", 4}));
    // Three of five (0.6) is enough; ties keep the first page.
    auto tie = rig.find({doc}, "alpha beta gamma zeta theta");
    EXPECT_EQ(tie.hit, (PageHint{"doc-1", 1}));
    EXPECT_EQ(rig.find({doc}, "alpha beta zeta theta iota").route, "not_found") << "2 of 5";
    EXPECT_EQ(rig.find({doc}, "a alpha; beta, zeta zeta").route, "not_found") << "3 words";
}

TEST(PageLocator, DocumentsWithoutCopiesAreReportedMissing) {
    LocatorRig rig;
    auto none1 = readyDocument("gone-1", {"x"}, "2024-02");
    auto none2 = readyDocument("gone-2", {"x"}, "2024-03");
    auto result = rig.find({none1, none2}, "some selection of text");
    EXPECT_EQ(result.route, "no_copy");
    EXPECT_EQ(result.missing, (std::vector<std::string>{"gone-2", "gone-1"}));
    // A copy of another text counts as missing too.
    auto doc = rig.keep("doc-1", book);
    auto changed = readyDocument("doc-1", {"new text"});
    EXPECT_EQ(rig.find({changed}, "quick brown fox jumps").missing,
              std::vector<std::string>{"doc-1"});
    EXPECT_EQ(rig.find({doc, none1}, "quick brown fox jumps").missing,
              std::vector<std::string>{"gone-1"});
}

TEST(PageLocator, TheBudgetEndsTheSearch) {
    LocatorRig rig;
    auto doc = rig.keep("doc-1", book);
    auto clock = std::make_shared<SteppingClock>(0.2);
    PageLocator slow(rig.copies, clock);
    // Every read of the clock costs 0.2 s: the third page comparison is past the budget.
    auto exact =
        slow.locate("user-1", {doc}, "no such passage anywhere", std::nullopt, {}, std::nullopt);
    EXPECT_EQ(exact.route, "timeout");
    EXPECT_EQ(exact.checked, 2);
    EXPECT_FALSE(exact.hit);

    // A word match found before the budget ran out is kept.
    auto words = rig.keep("doc-2", {"alpha beta gamma delta", "nothing", "nothing", "nothing"});
    clock->setStep(0.07);
    auto found =
        slow.locate("user-1", {words}, "alpha beta gamma zeta", std::nullopt, {}, std::nullopt);
    EXPECT_EQ(found.route, "words");
    EXPECT_EQ(found.hit, (PageHint{"doc-2", 1}));
}

TEST(PageLocator, TheCacheChargesItsBytesAndEvictsTheLeastRecentlyUsed) {
    LocatorRig rig;
    auto page = [](char c) {
        return std::string(1000, c);
    };
    auto a = rig.keep("a", {page('a'), page('b')});
    const std::int64_t costA = 2 * (1000 + 1000 + PageLocator::pageCost);
    rig.find({a}, "zzzzzzzzzzzzzzzz");
    EXPECT_EQ(rig.locator->indexBytes(), costA);

    // The word sets of the word phase are charged too.
    rig.find({a}, "qqq rrr sss ttt uuu");
    EXPECT_GT(rig.locator->indexBytes(), costA);
    const std::int64_t withWords = rig.locator->indexBytes();
    const std::int64_t oneWordSet = PageLocator::wordSetCost + 1000 + PageLocator::wordCost;
    EXPECT_EQ(withWords, costA + 2 * oneWordSet);

    // A budget that holds one index: the newest one stays, even alone above the budget.
    PageLocator tight(rig.copies, SystemClock::shared(), costA + 10);
    auto b = rig.keep("b", {page('c'), page('d'), page('e')});
    tight.locate("user-1", {a}, "zzzzzzzzzzzzzzzz", std::nullopt, {}, std::nullopt);
    tight.locate("user-1", {b}, "zzzzzzzzzzzzzzzz", std::nullopt, {}, std::nullopt);
    EXPECT_EQ(tight.cachedDocuments(), std::vector<std::string>{"b"});
    EXPECT_EQ(tight.indexBytes(), 3 * (1000 + 1000 + PageLocator::pageCost));

    // Within the byte budget at most 32 documents are kept.
    std::vector<ReadyDocument> many;
    for (int i = 0; i < 33; ++i) {
        many.push_back(rig.keep("m" + std::to_string(i), {"page " + std::to_string(i)}));
    }
    for (const auto& doc : many) {
        rig.locator->locate("user-1", {doc}, "zzzzzzzzzzzzzzzz", std::nullopt, {}, std::nullopt);
    }
    auto cached = rig.locator->cachedDocuments();
    EXPECT_EQ(cached.size(), 32u);
    EXPECT_EQ(cached.front(), "m1") << "the least recently used went first";
    std::int64_t sum = 0;
    for (int i = 1; i < 33; ++i) {
        const std::string text = "page " + std::to_string(i);
        sum += static_cast<std::int64_t>(PageText::normalize(text).size() + text.size()) +
               PageLocator::pageCost;
    }
    EXPECT_EQ(rig.locator->indexBytes(), sum);

    rig.locator->clear();
    EXPECT_EQ(rig.locator->indexBytes(), 0);
    EXPECT_TRUE(rig.locator->cachedDocuments().empty());
    EXPECT_EQ(rig.locator->lastHit(), std::nullopt);
}

TEST(PageLocator, ANewTextOfADocumentReplacesItsIndex) {
    LocatorRig rig;
    auto first = rig.keep("doc-1", {"first version of the page text"});
    EXPECT_EQ(rig.find({first}, "first version of the page").route, "exact");
    const auto before = rig.locator->indexBytes();
    auto second = rig.keep("doc-1", {"second version, longer than the first one was"});
    EXPECT_EQ(rig.find({second}, "second version longer").route, "exact");
    EXPECT_EQ(rig.locator->cachedDocuments(), std::vector<std::string>{"doc-1"});
    EXPECT_NE(rig.locator->indexBytes(), before);
    const std::string text = "second version, longer than the first one was";
    EXPECT_EQ(rig.locator->indexBytes(),
              static_cast<std::int64_t>(PageText::normalize(text).size() + text.size()) +
                  PageLocator::pageCost);
}

TEST(PageLocatorThreads, SearchesOnSeveralThreadsKeepTheAccountsRight) {
    LocatorRig rig;
    std::vector<ReadyDocument> docs;
    std::map<std::string, std::int64_t> costs;
    for (int d = 0; d < 6; ++d) {
        std::vector<std::string> pages;
        for (int p = 0; p < 20; ++p) {
            pages.push_back("document " + std::to_string(d) + " page " + std::to_string(p) +
                            " holds its own sentence about topic " + std::to_string(d * 100 + p));
        }
        docs.push_back(rig.keep("doc-" + std::to_string(d), pages));
        std::int64_t cost = 0;
        for (const auto& page : pages) {
            cost += static_cast<std::int64_t>(PageText::normalize(page).size() + page.size()) +
                    PageLocator::pageCost;
        }
        costs[docs.back().id] = cost;
    }
    // Room for about three indexes: the threads keep building and evicting them.
    PageLocator shared(rig.copies, SystemClock::shared(), costs["doc-0"] * 3);
    std::vector<std::thread> threads;
    std::atomic<int> hits{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 30; ++round) {
                const int d = (t + round) % 6;
                const auto& doc = docs[static_cast<size_t>(d)];
                auto result = shared.locate(
                    "user-1", {doc},
                    "holds its own sentence about topic " + std::to_string(d * 100 + round % 20),
                    std::nullopt, {}, std::nullopt);
                hits += result.hit.has_value();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(hits.load(), 4 * 30);
    std::int64_t expected = 0;
    for (const auto& id : shared.cachedDocuments()) {
        expected += costs[id];
    }
    EXPECT_EQ(shared.indexBytes(), expected);
    EXPECT_LE(shared.cachedDocuments().size(), 4u);
}

}  // namespace
}  // namespace parlendo
