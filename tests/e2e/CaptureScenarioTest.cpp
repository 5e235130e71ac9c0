// A reading day: the program restores the login kept from yesterday, the user switches detection
// on with a double tap of Alt, looks up a word and a sentence in another application with the
// chord, and finds both in the word book on the server with the window's title; later the server
// fails every save, and the menu says what stayed unsaved.
#include "CaptureSteps.h"

#include "foundation/Json.h"

namespace parlendo::testing {
namespace {

using CaptureScenario = CaptureSteps;

TEST_F(CaptureScenario, AWordAndASentenceAreShownAndSavedWithTheirSource) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    EXPECT_TRUE(panel->find("○ 감지 꺼짐")) << ::testing::PrintToString(panel->shown());

    auto reader = readerWindow("Reading notes — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    panel->opening();
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return panel->find("● 감지 중").has_value(); }))
        << ::testing::PrintToString(panel->shown());

    // The word: its cards under the selection, with the dictionary's senses.
    lookupChord();
    auto cards = cardsShowing("1. 뜻밖의 행운 [noun]", 2);
    ASSERT_FALSE(cards.empty()) << log();
    screenshotWindowsShowing("1. 뜻밖의 행운 [noun]", "word-cards");
    // "단어" and "뜻만" take words: two cards, the first with the definitions too.
    ASSERT_EQ(cards.size(), 2u) << log();
    const auto texts = cards[0].texts();
    EXPECT_TRUE(holds(texts, "2. 우연한 발견 [noun]")) << ::testing::PrintToString(texts);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const auto& text) {
        return text.find("the finding of good things by chance") != std::string::npos;
    })) << ::testing::PrintToString(texts);

    // Saved against a source that carries the window's title.
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    const auto sources = backend.requests("POST", "/rest/v1/sources");
    ASSERT_EQ(sources.size(), 1u);
    const auto source = json::parse(sources[0].body).value_or(Json::object());
    EXPECT_EQ(source.value("title", ""), "Reading notes — Test window");
    EXPECT_EQ(source.value("user_id", ""), "user-1");
    const auto save =
        json::parse(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1")[0].body)
            .value_or(Json::object());
    EXPECT_EQ(save.value("p_lemma", ""), "serendipity");
    EXPECT_EQ(backend.library->count("words", false), 1u);
    ASSERT_TRUE(cardsGone()) << log();

    // The sentence, in a browser: its translation card, saved with the page as its source.
    reader.reset();
    auto story = readerWindow("The fox and the dog - Fables — Mozilla Firefox", "",
                              ScriptedBackend::sentence, "https://fables.example/fox?ref=home");
    lookupChord();
    ASSERT_FALSE(cardsShowing(ScriptedBackend::translation).empty()) << log();
    screenshotWindowsShowing(ScriptedBackend::translation, "sentence-card");
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/sentences")) << log();
    const auto sentence = json::parse(backend.requests("POST", "/rest/v1/sentences")[0].body)
                              .value_or(Json::object());
    EXPECT_EQ(sentence.value("original", ""), ScriptedBackend::sentence);
    EXPECT_EQ(sentence.value("korean", ""), ScriptedBackend::translation);
    const auto titles = backend.requests("POST", "/rest/v1/sources");
    ASSERT_EQ(titles.size(), 2u);
    const auto page = json::parse(titles[1].body).value_or(Json::object());
    // The browser's name is not part of the page's title; the page's address comes along.
    EXPECT_EQ(json::string(page, "title"), "The fox and the dog - Fables");
    EXPECT_EQ(json::string(page, "url"), "https://fables.example/fox?ref=home");

    // Nothing left unsaved: the menu has no such line.
    panel->opening();
    DesktopSession::pumpFor(0.5);
    EXPECT_FALSE(panel->find("⚠️ 저장 안 된 것"))
        << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(logCount("저장 안 된 것 +1"), 0u);
    // Both applications were read within the reading budget, the one just started too.
    EXPECT_EQ(logCount("[context] 읽기 상한"), 0u) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing

namespace parlendo::testing {
namespace {

TEST_F(CaptureScenario, SavesTheServerFailsAreRetriedThenCountedInTheMenu) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("Failing day — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();

    // Every save fails on the server's side; the word is shown all the same.
    const auto broken = StubAnswer::json(500, R"({"message":"internal error"})");
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", broken);
    backend.interpose("POST", "/rest/v1/sentences", broken);
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();

    // Three attempts, 1.5 and 2 seconds apart, then the word counts as unsaved.
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1", 3, 20)) << log();
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 +1 kind=word total=1")) << log();
    EXPECT_EQ(logCount("[save] 재시도 "), 2u);
    EXPECT_EQ(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").size(), 3u);
    EXPECT_EQ(backend.library->count("words", false), 0u);
    panel->opening();
    EXPECT_TRUE(DesktopSession::pumpUntil([&] {
        return panel->find("⚠️ 저장 안 된 것 1개").has_value();
    })) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(cardsGone()) << log();

    // The sentence too: the count grows to two.
    reader.reset();
    auto story = readerWindow("The fox and the dog - Fables — Mozilla Firefox", "",
                              ScriptedBackend::sentence, "https://fables.example/fox?ref=home");
    lookupChord();
    ASSERT_FALSE(cardsShowing(ScriptedBackend::translation).empty()) << log();
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 +1 kind=sentence total=2", 30)) << log();
    panel->opening();
    EXPECT_TRUE(DesktopSession::pumpUntil([&] {
        return panel->find("⚠️ 저장 안 된 것 2개").has_value();
    })) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(cardsGone()) << log();

    // The server is back: the next word is saved and the count stays what this run lost.
    backend.clear();
    story.reset();
    auto again = readerWindow("Recovered — Test window", "ephemeral");
    lookupChord();
    ASSERT_FALSE(cardsShowing("1. 덧없는 [adjective]").empty()) << log();
    ASSERT_TRUE(
        DesktopSession::pumpUntil([&] { return backend.library->count("words", false) == 1; }, 15))
        << log();
    panel->opening();
    DesktopSession::pumpFor(0.3);
    EXPECT_TRUE(panel->find("⚠️ 저장 안 된 것 2개"))
        << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
