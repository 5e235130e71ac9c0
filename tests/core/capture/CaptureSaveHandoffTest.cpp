#include "LogCapture.h"
#include "PipelineRig.h"
#include "capture/CapturePipeline.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeTranslator;
using testing::FakeWordLookup;
using testing::PipelineRig;

struct CaptureSaveHandoffTest : ::testing::Test, PipelineRig {
    CaptureSaveHandoffTest() {
        settings->setCurrent({setting("단어", {"korean"}), setting("문장", {"translation"})});
    }
    // A word capture whose lookup answers with `senses`.
    CapturePipeline::Started word(std::vector<std::pair<std::string, std::string>> senses = {
                                      {"고양이", "a small animal"}}) {
        auto started = capture("Cats");
        lookup->answer(FakeWordLookup::found("cat", std::move(senses), "cat"));
        main->runAll();
        return started;
    }
    CapturePipeline::Started sentence() {
        auto started = capture("The cat sat on the mat.");
        translator->answer(FakeTranslator::korean("The cat sat on the mat.", "고양이가 앉았다."));
        main->runAll();
        return started;
    }
    testing::LogCapture log;
};

TEST_F(CaptureSaveHandoffTest, WordIsSavedWithItsFirstTwoSensesThenItsTitleVectorAsked) {
    auto started = word({{"", "a small animal"}, {"고양이", "a pet"}, {"괭이", "a third"}});
    EXPECT_TRUE(completed);
    EXPECT_EQ(pipeline->pending(), 0);
    ASSERT_EQ(backend->works().size(), 1u);
    const auto work = backend->works()[0];
    EXPECT_EQ(work.id, started.snapshot.id);
    EXPECT_EQ(work.sourceID, "source-1");
    EXPECT_EQ(work.lemma, "cat");
    EXPECT_EQ(work.phonetic, "/fəˈnɛtɪk/");
    EXPECT_EQ(work.korean, "고양이");
    ASSERT_EQ(work.senses.size(), 2u);
    EXPECT_EQ(work.senses[1].definition, "a pet");
    EXPECT_EQ(work.createdAt, clock->now());
    // The hook that was there before runs first, then the pipeline's.
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(titleRequestsAtOutcome, 0u);
    EXPECT_EQ(
        titleVectors->requests(),
        (std::vector<testing::FakeTitleVectors::Request>{{key(started.snapshot), "source-1"}}));
    EXPECT_EQ(sources->snapshots.at(0), started.snapshot);

    word({{"", "x"}, {"", "y"}});
    EXPECT_EQ(backend->works().at(1).korean, std::nullopt);
    word({{"고양이", "x"}, {"냥이", "y"}});
    EXPECT_EQ(backend->works().at(2).korean, "고양이, 냥이");
}

TEST_F(CaptureSaveHandoffTest, WordSaveOutcomesThatAskForNoTitleVector) {
    // The account changed before the save was confirmed.
    backend->hold = true;
    word();
    session->setUser("user-2");
    backend->release(std::string(testing::FakeSaveBackend::stored));
    EXPECT_TRUE(log.has("title_vec", "올리기 안 함 — 저장 확정 전에 계정이 바뀜"));
    // A failed save.
    session->setUser("user-1");
    word();
    backend->release(parlendo::fail(CallFailure::rejected(400)));
    EXPECT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(titleVectors->requests().empty());
}

TEST_F(CaptureSaveHandoffTest, CaptureWhileSignedOutIsNeverSaved) {
    session->setUser(std::nullopt);
    auto started = word();
    EXPECT_EQ(started.owner, std::nullopt);
    EXPECT_TRUE(log.has("save", "저장 버림 — 캡처 뒤 계정이 바뀌었거나 로그아웃됨"));
    EXPECT_TRUE(sources->snapshots.empty());
    EXPECT_TRUE(backend->works().empty());
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_TRUE(completed);
    EXPECT_EQ(unsaved->total(), 0);
}

TEST_F(CaptureSaveHandoffTest, SourceFoundOnTheThirdTry) {
    sources->script = {std::nullopt, std::nullopt};
    word();
    EXPECT_EQ(sources->calls(), 1u);
    EXPECT_EQ(pipeline->pending(), 1);
    clock->advance(0.39);
    EXPECT_EQ(sources->calls(), 1u);
    clock->advance(0.02);
    EXPECT_EQ(sources->calls(), 2u);
    clock->advance(1.15);
    EXPECT_EQ(sources->calls(), 2u);
    EXPECT_FALSE(completed);
    clock->advance(0.1);
    EXPECT_EQ(sources->calls(), 3u);
    EXPECT_EQ(backend->works().size(), 1u);
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_TRUE(completed);
    EXPECT_EQ(log.messages("save").size(), 4u);
    EXPECT_TRUE(log.has("save", "출처를 못 정함 — 다시 1/3"));
    EXPECT_TRUE(log.has("save", "출처를 못 정함 — 다시 2/3"));
    EXPECT_TRUE(log.has("save", "출처 정함 attempts=3"));
}

TEST_F(CaptureSaveHandoffTest, SourceNeverFoundCountsOneUnsavedSource) {
    sources->row.reset();
    word();
    clock->advance(2);
    EXPECT_EQ(sources->calls(), 3u);
    EXPECT_TRUE(log.has("save", "🔴 출처를 못 정해 저장하지 못함 attempts=3 — 유실"));
    EXPECT_EQ(unsaved->total(), 1);
    EXPECT_TRUE(backend->works().empty());
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_TRUE(completed);
}

TEST_F(CaptureSaveHandoffTest, AccountChangesDuringTheHandOffDropTheSave) {
    // Signed out during the wait before the second try.
    sources->script = {std::nullopt};
    word();
    EXPECT_EQ(pipeline->pending(), 1);
    session->setUser(std::nullopt);
    clock->advance(0.4);
    EXPECT_EQ(sources->calls(), 1u);
    EXPECT_TRUE(log.has("save", "저장 버림 — 캡처 뒤 계정이 바뀌었거나 로그아웃됨"));
    EXPECT_EQ(pipeline->pending(), 0);

    // Another account signed in while the source was resolved.
    session->setUser("user-1");
    sources->hold = true;
    word();
    session->setUser("user-2");
    sources->answer(SourceRow{"source-2", "notes", std::nullopt});
    main->runAll();
    EXPECT_TRUE(log.has("save", "저장 버림 — 출처를 정하는 사이 계정이 바뀜"));
    EXPECT_TRUE(backend->works().empty());
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_EQ(unsaved->total(), 0);
}

TEST_F(CaptureSaveHandoffTest, SentenceOutcomes) {
    auto started = sentence();
    ASSERT_EQ(sentences->works().size(), 1u);
    const SentenceWork work = sentences->works()[0];
    EXPECT_EQ(work, (SentenceWork{started.snapshot.id, "source-1", "The cat sat on the mat.",
                                  "고양이가 앉았다."}));
    // The hand-off lasts until the sentence saver answers.
    EXPECT_EQ(pipeline->pending(), 1);
    EXPECT_FALSE(completed);
    sentences->answer(SentenceSaveOutcome::confirmed(1));
    main->runAll();
    EXPECT_EQ(pipeline->pending(), 0);
    EXPECT_TRUE(completed);
    EXPECT_EQ(
        titleVectors->requests(),
        (std::vector<testing::FakeTitleVectors::Request>{{key(started.snapshot), "source-1"}}));
    ASSERT_EQ(sentenceOutcomes.size(), 1u);
    EXPECT_EQ(sentenceOutcomes[0].first, work);

    const SentenceSaveOutcome unsavedOnes[] = {SentenceSaveOutcome::rejected("23503"),
                                               SentenceSaveOutcome::lost(3),
                                               SentenceSaveOutcome::unknown(3)};
    for (const auto& outcome : unsavedOnes) {
        sentence();
        sentences->answer(outcome);
        main->runAll();
    }
    sentence();
    sentences->answer(SentenceSaveOutcome::dropped("no_session"));
    main->runAll();
    EXPECT_EQ(unsaved->total(), 3);
    EXPECT_EQ(sentenceOutcomes.size(), 5u);
    EXPECT_EQ(titleVectors->requests().size(), 1u);
}

TEST_F(CaptureSaveHandoffTest, ConfirmedSentenceAfterAnAccountChangeAsksForNoTitleVector) {
    sentence();
    session->setUser("user-2");
    sentences->answer(SentenceSaveOutcome::confirmed(1));
    main->runAll();
    EXPECT_TRUE(titleVectors->requests().empty());
    EXPECT_TRUE(log.has("title_vec", "올리기 안 함 — 저장 확정 전에 계정이 바뀜"));
    EXPECT_EQ(sentenceOutcomes.size(), 1u);
}

}  // namespace
}  // namespace parlendo
