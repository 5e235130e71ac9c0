// The whole capture on a real desktop: another application with selected English text, the
// lookup chord pressed on the keyboard, the selection read through the accessibility bus, the
// card windows at the selection filled with the server's answer, counting down and closing, and
// the saves reaching the server with the window's title.
#include "CaptureDeskTest.h"
#include "Screenshot.h"
#include "foundation/Json.h"

#include <algorithm>
#include <sstream>

namespace parlendo {
namespace {

using testing::CaptureDesk;
using testing::DesktopSession;
using testing::TestWindow;
namespace CardWindows = testing::CardWindows;

bool has(const std::vector<std::string>& all, const std::string& text) {
    return std::find(all.begin(), all.end(), text) != all.end();
}

bool hasPrefix(const std::vector<std::string>& all, const std::string& prefix) {
    return std::any_of(all.begin(), all.end(),
                       [&](const std::string& text) { return text.starts_with(prefix); });
}

std::string outputPath(const std::string& name) {
    return std::string(PARLENDO_TEST_OUTPUT_DIR) + "/" + name;
}

struct DesktopCaptureTest : testing::CaptureDeskTest {
    void SetUp() override {
        CaptureDeskTest::SetUp();
        if (!IsSkipped()) {
            startDesk();
        }
    }

    // The card windows once `count` of them are shown and filled (their loading note gone).
    std::vector<GtkWidget*> filledCards(size_t count, const std::string& loadingNote) {
        std::vector<GtkWidget*> cards;
        DesktopSession::pumpUntil(
            [&] {
                cards = CardWindows::shown();
                return cards.size() == count &&
                       std::none_of(cards.begin(), cards.end(), [&](GtkWidget* card) {
                           return has(CardWindows::texts(card), loadingNote);
                       });
            },
            10);
        DesktopSession::pumpFor(0.1);
        return cards;
    }
};

TEST_F(DesktopCaptureTest, AWordOpensItsCardsUnderTheSelectionCountsDownAndIsSaved) {
    auto window = open({"--title", "Reading notes — Test window", "--label", "serendipity"});
    ASSERT_TRUE(window->command("select-label 0 11"));
    window->command("where-label");
    const auto where = window->waitFor("at ");
    ASSERT_TRUE(where.has_value());
    GdkRectangle selection{};
    std::istringstream(where->substr(3)) >> selection.x >> selection.y >> selection.width >>
        selection.height;
    ASSERT_GT(selection.width, 0);
    ASSERT_TRUE(desk->warmUp());

    // An application may leave the accessibility bus unanswered for a moment after key presses;
    // the capture then falls back to the copy or the mouse. Placement is judged on a capture
    // whose selection bounds were read.
    std::vector<GtkWidget*> cards;
    for (int attempt = 0; attempt < 3 && !log.contains("timing", "anchor=range"); ++attempt) {
        DesktopSession::pumpUntil([] { return CardWindows::shown().empty(); }, 6);
        CaptureDesk::chord();
        // "단어" and "뜻만" take words; "문장" does not.
        cards = filledCards(2, "조회 중…");
    }
    ASSERT_EQ(cards.size(), 2u) << log.all();
    ASSERT_TRUE(log.contains("timing", "anchor=range")) << log.all();

    // The first card stands 6 points under the selection, its left edge on the selection's; the
    // second one below it, 10 points clear.
    const GdkRectangle first = CardWindows::placeOf(cards[0]);
    const GdkRectangle second = CardWindows::placeOf(cards[1]);
    EXPECT_NEAR(first.x, selection.x, 1);
    EXPECT_NEAR(first.y, selection.y + selection.height + 6, 1);
    EXPECT_NEAR(second.x, selection.x, 1);
    EXPECT_GE(second.y, first.y + first.height + 10);

    const auto word = CardWindows::texts(cards[0]);
    EXPECT_TRUE(has(word, "serendipity  /ˌsɛrənˈdɪpɪti/")) << ::testing::PrintToString(word);
    EXPECT_TRUE(has(word, "1. 뜻밖의 행운 [noun]"));
    EXPECT_TRUE(has(word, "2. 우연한 발견 [noun]"));
    EXPECT_TRUE(has(word,
                    "[noun] the finding of good things by chance\n"
                    "[noun] a happy discovery made by accident"))
        << ::testing::PrintToString(word);
    EXPECT_TRUE(hasPrefix(word, "\u25B6 "));
    const auto meaningOnly = CardWindows::texts(cards[1]);
    EXPECT_TRUE(has(meaningOnly, "1. 뜻밖의 행운 [noun]"));
    EXPECT_FALSE(has(meaningOnly, "정의"));
    EXPECT_GT(testing::saveScreenshot(first, outputPath("capture-word-card.png")), 200);

    // Two seconds on screen, then both close by themselves.
    EXPECT_TRUE(DesktopSession::pumpUntil([] { return CardWindows::shown().empty(); }, 6));

    // The source carries the window's title; the word is saved against it.
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return !desk->requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").empty(); }, 10));
    // Found once, then remembered for the captures that follow.
    const auto sources = desk->requests("POST", "/rest/v1/sources");
    ASSERT_EQ(sources.size(), 1u);
    const auto source = json::parse(sources[0].body).value_or(Json::object());
    EXPECT_EQ(source.value("title", ""), "Reading notes — Test window");
    EXPECT_EQ(source.value("user_id", ""), "user-1");
    const auto save =
        json::parse(desk->requests("POST", "/rest/v1/rpc/save_word_snapshot_v1")[0].body);
    ASSERT_TRUE(save.has_value());
    EXPECT_EQ(save->value("p_source_id", ""), source.value("source_id", "?"));
    EXPECT_EQ(save->value("p_lemma", ""), "serendipity");
    EXPECT_EQ(save->value("p_korean", ""), "뜻밖의 행운, 우연한 발견");
    const auto lookup = json::parse(desk->requests("POST", "/rest/v1/rpc/dict_lookup")[0].body);
    EXPECT_EQ(lookup->value("p_word", ""), "serendipity");

    EXPECT_TRUE(log.contains("timing",
                             "lookup_key stage=direct method=selected_text "
                             "app=org.parlendo.TestWindow popups=2"));
    EXPECT_EQ(desk->env->unsaved->total(), 0) << log.all();
}

TEST_F(DesktopCaptureTest, ASentenceOpensItsTranslationCardAndIsSaved) {
    auto window = open({"--title", "Fox story — Test window", "--view",
                        "The quick brown fox jumps over the lazy dog."});
    ASSERT_TRUE(window->command("select-view 0 44"));
    ASSERT_TRUE(desk->warmUp());

    CaptureDesk::chord();
    const auto cards = filledCards(1, "번역 중…");
    ASSERT_EQ(cards.size(), 1u) << log.all();
    const auto texts = CardWindows::texts(cards[0]);
    EXPECT_TRUE(has(texts, CaptureDesk::translation)) << ::testing::PrintToString(texts);
    // Under the text view's selection, inside the window placed at (200, 150).
    const GdkRectangle place = CardWindows::placeOf(cards[0]);
    EXPECT_GE(place.x, 200);
    EXPECT_GT(place.y, 150);
    EXPECT_LT(place.y, 150 + 300);
    EXPECT_GT(testing::saveScreenshot(place, outputPath("capture-sentence-card.png")), 200);
    EXPECT_TRUE(DesktopSession::pumpUntil([] { return CardWindows::shown().empty(); }, 6));

    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return !desk->requests("POST", "/rest/v1/sentences").empty(); }, 10));
    const auto source = json::parse(desk->requests("POST", "/rest/v1/sources").at(0).body);
    EXPECT_EQ(source->value("title", ""), "Fox story — Test window");
    const auto sentence = json::parse(desk->requests("POST", "/rest/v1/sentences")[0].body);
    EXPECT_EQ(sentence->value("original", ""), "The quick brown fox jumps over the lazy dog.");
    EXPECT_EQ(sentence->value("korean", ""), CaptureDesk::translation);
    EXPECT_EQ(sentence->value("source_id", ""), source->value("source_id", "?"));
    EXPECT_TRUE(desk->requests("POST", "/rest/v1/rpc/dict_lookup").empty());
    EXPECT_TRUE(DesktopSession::pumpUntil([&] { return desk->env->shutdown->inFlight() == 0; }));
    EXPECT_EQ(desk->env->unsaved->total(), 0);
}

}  // namespace
}  // namespace parlendo
