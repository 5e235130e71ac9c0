#include "CaptureRig.h"
#include "LogCapture.h"
#include "PipelineRig.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Op = testing::FakePopupPresenter::Op;
using testing::FakePopupPresenter;
using testing::FakeTranslator;
using testing::FakeWordLookup;
using testing::PipelineRig;

const RunningApplication browser{5151, std::string("org.mozilla.firefox")};

// The whole capture road: raw key events through the input hub and the lookup chord, the
// controller's fetch over a fake clipboard and reader, the pipeline's cards, lookup,
// translation and save hand-off over fakes, all on one fake clock.
struct CaptureRoadTest : ::testing::Test, PipelineRig, testing::CaptureRig {
    CaptureRoadTest() : CaptureRig(static_cast<const testing::CaptureQueues&>(*this)) {
        context->title = "Cats — Wikipedia — Mozilla Firefox";
        context->webURL = "https://en.wikipedia.org/wiki/Cat#Etymology";
        reader->window = context->identity(browser);
        front = browser;
        settings->setCurrent({setting("뜻", {"korean"}), setting("정의", {"definition"}, false),
                              setting("번역", {"translation"})});
        start(dependencies(pipeline));
    }

    std::vector<FakePopupPresenter::Call> opens() const { return popups->calls(Op::open); }

    testing::LogCapture log;
};

TEST_F(CaptureRoadTest, DirectlyReadWordIsShownAtTheSelectionAndSaved) {
    reader->direct = DirectSelection{"cats", "selected_text"};
    reader->bounds = SelectionBoundsRead{PopupRect{100, 500, 40, 14}, "marker"};
    chord();
    clock->advance(0);

    ASSERT_EQ(opens().size(), 2u);
    for (const auto& open : opens()) {
        EXPECT_EQ(open.anchor, PopupAnchor::selection(PopupRect{100, 500, 40, 14}));
        EXPECT_EQ(open.body, PopupBody::loading("cats", "조회 중…"));
    }
    EXPECT_FALSE(log.startingWith("timing",
                                  "lookup_key stage=direct method=selected_text "
                                  "app=org.mozilla.firefox popups=2 ")
                     .empty());
    ASSERT_EQ(lookup->titles.size(), 1u);
    EXPECT_EQ(lookup->titles[0], "Cats — Wikipedia");

    lookup->answer(FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat"));
    clock->advance(0);
    EXPECT_EQ(popups->calls(Op::fill).size(), 2u);
    ASSERT_EQ(sources->snapshots.size(), 1u);
    const auto& snapshot = sources->snapshots[0];
    EXPECT_EQ(snapshot.text, "cats");
    EXPECT_EQ(snapshot.sourceURL(), "https://en.wikipedia.org/wiki/Cat");
    ASSERT_EQ(backend->works().size(), 1u);
    EXPECT_EQ(backend->works()[0].id, snapshot.id);
    EXPECT_EQ(titleVectors->requests(),
              (std::vector<testing::FakeTitleVectors::Request>{{key(snapshot), "source-1"}}));
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(CaptureRoadTest, CopiedSentenceOpensAtTheMouseAndIsTranslatedAndSaved) {
    reader->copiesAfter(0.03, "  The cat sat on the mat.\n");
    chord();
    clock->advance(0.05);
    ASSERT_EQ(opens().size(), 1u);
    EXPECT_EQ(opens()[0].anchor, PopupAnchor::mouse());
    EXPECT_EQ(translator->texts, std::vector<std::string>{"The cat sat on the mat."});
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");

    translator->answer(
        FakeTranslator::korean("The cat sat on the mat.", "고양이가 매트에 앉았다."));
    clock->advance(0);
    EXPECT_EQ(popups->cards.begin()->second.body, PopupBody::text("고양이가 매트에 앉았다."));
    ASSERT_EQ(sentences->works().size(), 1u);
    EXPECT_EQ(sentences->works()[0].original, "The cat sat on the mat.");
    EXPECT_EQ(pipeline->pending(), 1);
    sentences->answer(SentenceSaveOutcome::confirmed(1));
    clock->advance(0);
    EXPECT_EQ(titleVectors->requests().size(), 1u);
    EXPECT_EQ(pipeline->pending(), 0);
}

TEST_F(CaptureRoadTest, SkippedSelectionTellsTheUserWhy) {
    reader->direct = DirectSelection{"고양이", "selected_text"};
    chord();
    clock->advance(0);
    EXPECT_EQ(notices, std::vector<std::string>{"영어 단어나 문장이 아니라서 찾지 않았어요"});
    EXPECT_TRUE(log.has("capture", "버림 안내 reason=not_english"));
    EXPECT_TRUE(popups->log.empty());
    EXPECT_TRUE(lookup->words.empty());
}

TEST_F(CaptureRoadTest, CapturesRacingAnAccountChange) {
    // Signed out while the lookup runs: the lookup ends stale, the cards go, nothing is saved.
    reader->direct = DirectSelection{"cats", "selected_text"};
    chord();
    clock->advance(0);
    session->setUser(std::nullopt);
    lookup->answer(parlendo::fail(CallFailure::stale()));
    clock->advance(0);
    EXPECT_TRUE(popups->cards.empty());

    // Another account adopted while the lookup runs: the answer is shown but not saved.
    session->setUser("user-1");
    chord();
    clock->advance(0);
    session->setUser("user-2");
    lookup->answer(FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat"));
    clock->advance(0);
    EXPECT_EQ(popups->cards.size(), 2u);
    EXPECT_TRUE(log.has("save", "저장 버림 — 캡처 뒤 계정이 바뀌었거나 로그아웃됨"));

    // Switched while the source search waits for its retry.
    popups->cards.clear();
    session->setUser("user-1");
    sources->script = {std::nullopt};
    chord();
    clock->advance(0);
    lookup->answer(FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat"));
    clock->advance(0.2);
    session->setUser("user-2");
    clock->advance(0.3);
    EXPECT_EQ(sources->calls(), 1u);

    // Switched after the word was queued but before it was confirmed: saved, no title vector.
    session->setUser("user-1");
    backend->hold = true;
    chord();
    clock->advance(0);
    lookup->answer(FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat"));
    clock->advance(0);
    session->setUser("user-2");
    backend->release(std::string(testing::FakeSaveBackend::stored));
    clock->advance(0);

    EXPECT_EQ(backend->works().size(), 1u);
    EXPECT_TRUE(titleVectors->requests().empty());
    EXPECT_TRUE(log.has("title_vec", "올리기 안 함 — 저장 확정 전에 계정이 바뀜"));
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_EQ(unsaved->total(), 0);
}

}  // namespace
}  // namespace parlendo
