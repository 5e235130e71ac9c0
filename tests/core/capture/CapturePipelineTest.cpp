#include "capture/CapturePipeline.h"

#include "LogCapture.h"
#include "PipelineRig.h"
#include "capture/CaptureCopy.h"
#include "popups/PopupPresentation.h"

#include <gtest/gtest.h>

#include <thread>

namespace parlendo {
namespace {

using Op = testing::FakePopupPresenter::Op;
using testing::FakeTranslator;
using testing::FakeWordLookup;
using testing::PipelineRig;

struct CapturePipelineTest : ::testing::Test, PipelineRig {
    const PopupBody* body(const CapturePipeline::Started& started, size_t slot = 0) const {
        const auto* card = popups->card(PopupID{started.snapshot.id, static_cast<int>(slot)});
        return card ? &card->body : nullptr;
    }
    std::optional<PopupBody::Failure> failureOf(const CapturePipeline::Started& started) const {
        const auto* b = body(started);
        if (!b || !b->as<PopupBody::Failure>()) {
            return std::nullopt;
        }
        return *b->as<PopupBody::Failure>();
    }
    testing::LogCapture log;
};

TEST(CaptureNoticeTest, RawValuesTextsAndSkipReasons) {
    for (auto notice : allCaptureNotices) {
        EXPECT_EQ(captureNoticeFromString(toString(notice)), notice);
    }
    EXPECT_EQ(captureNoticeFromString("Not_English"), std::nullopt);
    EXPECT_EQ(captureNoticeText(CaptureNotice::callLike), CaptureCopy::skipCallLike);
    EXPECT_EQ(captureNoticeForSkip("영단어 부족"), CaptureNotice::fewWords);
    EXPECT_EQ(captureNoticeForSkip("코드/URL 꼴"), CaptureNotice::codeLike);
    EXPECT_EQ(captureNoticeForSkip("코드 꼴(함수 호출)"), CaptureNotice::callLike);
    EXPECT_EQ(captureNoticeForSkip("한글"), CaptureNotice::notEnglish);
    EXPECT_EQ(captureNoticeForSkip(std::nullopt), CaptureNotice::notEnglish);
    EXPECT_EQ(CaptureCopy::overLength(301),
              "문장이 300자를 넘어 번역하지 않았어요 (선택한 글: 301자)");
}

TEST_F(CapturePipelineTest, SkippedSelectionsOpenNothingAndCarryTheirNotice) {
    auto started = capture("   ");
    EXPECT_EQ(started.kind, CaptureKind{CaptureKind::Nothing{std::nullopt}});
    EXPECT_EQ(started.notice, CaptureNotice::notEnglish);
    EXPECT_EQ(started.popupCount, 0);
    EXPECT_TRUE(popups->log.empty());
    EXPECT_TRUE(completed);
    EXPECT_TRUE(log.has("capture", "버림 — 글자 없음"));
    EXPECT_TRUE(lookup->words.empty());
}

TEST_F(CapturePipelineTest, OverLengthSentenceShowsOneCardAndNoLookup) {
    std::string text = "This is a sentence.";
    while (text.size() < 301) {
        text += " word";
    }
    text.resize(301);
    auto started = capture(text, PopupAnchor::selection(PopupRect{1, 2, 3, 4}));
    EXPECT_EQ(started.kind, CaptureKind{CaptureKind::OverLength{301}});
    EXPECT_EQ(started.popupCount, 1);
    EXPECT_EQ(started.notice, std::nullopt);
    const auto opens = popups->calls(Op::open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].options, (PopupOptions{3.0, PopupOptions::Width::normal, 0.94}));
    EXPECT_EQ(opens[0].seconds, 1.0);
    EXPECT_EQ(opens[0].setting, std::nullopt);
    EXPECT_EQ(opens[0].anchor, PopupAnchor::selection(PopupRect{1, 2, 3, 4}));
    const auto fills = popups->calls(Op::fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].body, PopupBody::text(CaptureCopy::overLength(301)));
    EXPECT_EQ(fills[0].seconds, 3.0);
    EXPECT_TRUE(log.has("capture", "버림 — 문장 길이 초과 len=301 notice=true"));
    EXPECT_TRUE(translator->texts.empty());
    EXPECT_TRUE(completed);
}

TEST_F(CapturePipelineTest, InputWithoutASettingIsNoticed) {
    settings->setCurrent({setting("문장", {"translation"}), setting("빈 것", {})});
    auto started = capture("serendipity");
    EXPECT_EQ(started.kind, CaptureKind{CaptureKind::Nothing{"no_setting"}});
    EXPECT_EQ(started.notice, CaptureNotice::noWordPopup);
    EXPECT_TRUE(popups->log.empty());
    EXPECT_TRUE(log.has("capture",
                        "버림 — 이 입력(word)을 다루는 팝업 설정이 꺼져 있거나 없음 settings=2"));

    settings->setCurrent({setting("단어", {"korean", "definition"})});
    EXPECT_EQ(capture("The cat sat on the mat.").notice, CaptureNotice::noSentencePopup);
    EXPECT_TRUE(lookup->words.empty());
}

TEST_F(CapturePipelineTest, OpensOneCardPerActiveSettingUpToTheLimit) {
    std::vector<PopupSetting> seven;
    for (int i = 0; i < 7; ++i) {
        seven.push_back(setting(i == 0 ? "  뜻  " : (i == 1 ? " " : "s" + std::to_string(i)),
                                {"korean"}, i == 3));
    }
    seven.push_back(setting("문장", {"translation"}));
    settings->setCurrent(seven);
    auto started = pipeline->begin(snapshot("serendipity"), PopupAnchor::mouse());
    EXPECT_EQ(started.active.size(), 7u);
    EXPECT_EQ(started.opened.size(), 5u);
    EXPECT_EQ(started.popupCount, 5);
    EXPECT_EQ(started.owner, "user-1");
    EXPECT_EQ(rejectedCards, std::vector<int>{2});
    EXPECT_TRUE(log.has("capture", "팝업 자리 없음 — 못 띄운 것 2장 (한도 5)"));
    const auto opens = popups->calls(Op::open);
    EXPECT_EQ(opens[0].setting, "· 뜻");
    EXPECT_EQ(opens[1].setting, std::nullopt);
    EXPECT_EQ(opens[0].body, PopupBody::loading("serendipity", "조회 중…"));
    EXPECT_EQ(opens[0].seconds, 11.600000000000001);
    const auto line = log.startingWith("capture", "단어=");
    EXPECT_NE(line.find(" app=org.gnome.TextEditor title="), std::string::npos) << line;
    EXPECT_NE(line.find(" settings=7 opened=5 name_len=5,1,2,2,2,2,2 save=true age_ms=0"),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find("serendipity"), std::string::npos);
}

TEST_F(CapturePipelineTest, SentenceTitleIsCutAfterFortyCharacters) {
    const std::string forty = "The quick brown fox jumps over a lazy do";  // 40
    ASSERT_EQ(forty.size(), 40u);
    settings->setCurrent({setting("문장", {"translation"})});
    pipeline->begin(snapshot(forty), PopupAnchor::mouse());
    pipeline->begin(snapshot(forty + "g"), PopupAnchor::mouse());
    const auto opens = popups->calls(Op::open);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].body, PopupBody::loading(forty, "번역 중…"));
    EXPECT_EQ(opens[1].body, PopupBody::loading(forty + "…", "번역 중…"));
    EXPECT_EQ(opens[1].seconds, 9.3);
}

TEST_F(CapturePipelineTest, FoundWordFillsEveryCardWithItsSettingsContents) {
    settings->setCurrent(
        {setting("뜻", {"korean"}, false, 4.0), setting("정의", {"definition"}, false, 6.0)});
    auto started = capture("Cats");
    EXPECT_EQ(lookup->words, std::vector<std::string>{"Cats"});
    EXPECT_EQ(lookup->titles, std::vector<std::optional<std::string>>{"Reading notes"});
    const auto result = FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat");
    lookup->answer(result);
    EXPECT_FALSE(completed);
    main->runAll();
    EXPECT_TRUE(completed);
    const auto fills = popups->calls(Op::fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].body, PopupPresentation::wordBody("Cats", result->result, {"korean"}));
    EXPECT_EQ(fills[0].seconds, 4.0);
    EXPECT_EQ(fills[1].body, PopupPresentation::wordBody("Cats", result->result, {"definition"}));
    EXPECT_EQ(fills[1].seconds, 6.0);
    EXPECT_TRUE(log.has("save", "저장 안 함 — 이번에 뜬 팝업 설정에 저장이 켜진 것이 없음"));
    EXPECT_TRUE(sources->snapshots.empty());
}

TEST_F(CapturePipelineTest, GenerationNoticeReachesTheCardsOnTheMainThread) {
    auto started = capture("frobnicate");
    std::thread([this] { lookup->generating(); }).join();
    EXPECT_EQ(*body(started), PopupBody::loading("frobnicate", "조회 중…"));
    main->runAll();
    EXPECT_EQ(*body(started), PopupBody::loading("frobnicate", "사전에 없어 뜻을 만드는 중…"));
    lookup->answer(FakeWordLookup::missing("frobnicate", "made"));
    main->runAll();
    EXPECT_TRUE(completed);
}

TEST_F(CapturePipelineTest, DictionaryMisses) {
    struct Case {
        std::optional<std::string> generation;
        bool offline;
        std::string_view message;
    };
    const Case cases[] = {
        {std::nullopt, true, "사전에 없는 단어예요"},
        {"not_a_word", false, "사전에 없는 단어예요"},
        {"quota", true, CaptureCopy::offline},
        {"quota", false, CaptureCopy::generationUnavailable},
        {"failed", false, CaptureCopy::generationUnavailable},
        // A refusal for good does not ask to try again later.
        {"refused", false, CaptureCopy::generationRefused},
    };
    for (const auto& c : cases) {
        popups->cards.clear();
        offline = c.offline;
        auto started = capture("frobnicate");
        lookup->answer(FakeWordLookup::missing("frobnicate", c.generation));
        main->runAll();
        EXPECT_EQ(failureOf(started), (PopupBody::Failure{"frobnicate", std::string(c.message)}))
            << c.generation.value_or("none");
        EXPECT_EQ(popups->calls(Op::fill).back().seconds, 2.5);
    }
    EXPECT_TRUE(sources->snapshots.empty());
}

TEST_F(CapturePipelineTest, FailureTextsOfBothRoads) {
    settings->setCurrent({setting("단어", {"korean"}), setting("문장", {"translation"})});
    struct Case {
        CallFailure failure;
        bool offline;
        std::string_view word;
        std::string_view sentence;
    };
    const Case cases[] = {
        {CallFailure::rejectedDetail({426, "app_update_required", ""}), false,
         CaptureCopy::updateRequired, CaptureCopy::updateRequired},
        {CallFailure::rejectedDetail({403, "feature_off", ""}), true, CaptureCopy::lookupFailed,
         CaptureCopy::translationFailed},
        {CallFailure::rejected(500), true, CaptureCopy::lookupFailed,
         CaptureCopy::translationFailed},
        {CallFailure::authRequired(), true, CaptureCopy::authRequired, CaptureCopy::authRequired},
        {CallFailure::timeout(), false, CaptureCopy::lookupTimeout, CaptureCopy::translationFailed},
        {CallFailure::timeout(), true, CaptureCopy::offline, CaptureCopy::offline},
        {CallFailure::unavailable(), false, CaptureCopy::lookupFailed,
         CaptureCopy::translationFailed},
        {CallFailure::unavailable(), true, CaptureCopy::offline, CaptureCopy::offline},
        {CallFailure::quota(), false, CaptureCopy::lookupFailed, CaptureCopy::translationQuota},
        {CallFailure::badShape(), false, CaptureCopy::lookupFailed, CaptureCopy::translationFailed},
    };
    for (const auto& c : cases) {
        popups->cards.clear();
        offline = c.offline;
        auto word = capture("serendipity");
        lookup->answer(parlendo::fail(c.failure));
        auto sentence = capture("The cat sat on the mat.");
        translator->answer(parlendo::fail(c.failure));
        main->runAll();
        EXPECT_EQ(failureOf(word), (PopupBody::Failure{"serendipity", std::string(c.word)}))
            << c.failure.logReason();
        EXPECT_EQ(failureOf(sentence), (PopupBody::Failure{std::nullopt, std::string(c.sentence)}))
            << c.failure.logReason();
    }
}

TEST_F(CapturePipelineTest, StaleAnswersCloseTheCardsAndSaveNothing) {
    settings->setCurrent({setting("단어", {"korean"}), setting("문장", {"translation"}),
                          setting("둘 다", {"korean", "translation"})});
    auto word = capture("serendipity");
    auto sentence = capture("The cat sat on the mat.");
    EXPECT_EQ(popups->cards.size(), 4u);
    lookup->answer(parlendo::fail(CallFailure::stale()));
    translator->answer(parlendo::fail(CallFailure::stale()));
    main->runAll();
    EXPECT_TRUE(popups->cards.empty());
    EXPECT_EQ(popups->calls(Op::close).size(), 4u);
    EXPECT_TRUE(popups->calls(Op::fill).empty());
    EXPECT_TRUE(sources->snapshots.empty());
    EXPECT_TRUE(completed);
}

TEST_F(CapturePipelineTest, TranslationDeadline) {
    settings->setCurrent({setting("문장", {"translation"}, false, 5.0)});
    auto started = capture("The cat sat on the mat.");
    clock->advance(8.2);
    EXPECT_FALSE(completed);
    clock->advance(0.1);
    EXPECT_TRUE(completed);
    EXPECT_EQ(failureOf(started), (PopupBody::Failure{std::nullopt, "번역을 가져오지 못했어요"}));
    // A second before the card would stop waiting for it.
    EXPECT_LE(clock->elapsed() + 1.0, popups->calls(Op::open)[0].seconds);
    // The late answer is dropped.
    translator->answer(FakeTranslator::korean("The cat sat on the mat.", "고양이가 앉았다."));
    main->runAll();
    EXPECT_EQ(popups->calls(Op::fill).size(), 1u);

    auto second = capture("The dog sat on the mat.");
    translator->answer(FakeTranslator::korean("The dog sat on the mat.", "개가 앉았다."));
    main->runAll();
    EXPECT_EQ(*body(second), PopupBody::text("개가 앉았다."));
    EXPECT_EQ(popups->calls(Op::fill).back().seconds, 5.0);
    // The timer of the answered race runs out without effect.
    clock->advance(9);
    EXPECT_EQ(*body(second), PopupBody::text("개가 앉았다."));
    EXPECT_TRUE(sentences->works().empty());
}

TEST_F(CapturePipelineTest, WordWithoutDefinitionsIsShownButNotSaved) {
    auto started = capture("cat");
    lookup->answer(FakeWordLookup::found("cat", {{"고양이", " - "}, {"냥", "a pet"}}));
    main->runAll();
    EXPECT_TRUE(popups->card(started.opened[0])->shownFor.has_value());
    EXPECT_FALSE(log.startingWith("save", "건너뜀 why=empty_definition lemma=").empty());
    EXPECT_TRUE(sources->snapshots.empty());
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace parlendo
