// The manage window of a signed-in user: opened from the status menu, the word book shows the
// word just captured under its source; the folder is renamed, the word deleted and restored from
// the trash; a popup card switched off is no longer shown by the next capture.
#include "CaptureSteps.h"

#include "foundation/Json.h"

#include <X11/keysym.h>

namespace parlendo::testing {
namespace {

using ManageScenario = CaptureSteps;

// What the page shows, for a failure's message.
std::string onPage() {
    return "\n--- page ---\n" + ProgramWindows::pageText();
}

bool pageShows(const std::string& text, double seconds = 15) {
    return DesktopSession::pumpUntil(
        [&] { return ProgramWindows::pageText().find(text) != std::string::npos; }, seconds);
}

TEST_F(ManageScenario, TheWordBookAndThePopupCardsAreEditedInTheManageWindow) {
    const std::string folder = backend.library->addFolder("영어 공부", std::nullopt);
    const std::string source = backend.library->addSource("Reading notes — Test window", folder);
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("Reading notes — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    // The source of that title was there already: the word joined it.
    EXPECT_TRUE(backend.requests("POST", "/rest/v1/sources").empty()) << onPage() << log();
    ASSERT_TRUE(cardsGone()) << log();

    // The word book: the folder, its source, the word.
    ASSERT_TRUE(panel->click("관리 창 열기")) << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    ASSERT_TRUE(pageShows("영어 공부")) << ProgramWindows::pageText() << log();
    ASSERT_TRUE(ProgramWindows::clickPage("영어 공부")) << onPage() << log();
    ASSERT_TRUE(ProgramWindows::clickPage("Reading notes — Test window")) << onPage() << log();
    // The row shows the phonetic the capture saved.
    ASSERT_TRUE(pageShows("serendipity\nˌsɛrənˈdɪpɪti\n뜻밖의 행운")) << onPage() << log();
    const auto all = ProgramWindows::all();
    ASSERT_EQ(all.size(), 1u) << log();
    const GdkRectangle window = all[0].place;
    screenshot(window, "word-book");

    // Rename the folder (F2 on the selected folder).
    ASSERT_TRUE(ProgramWindows::clickPage("영어 공부")) << onPage() << log();
    ProgramWindows::pressKey(XK_F2);
    ASSERT_TRUE(pageShows("폴더 이름 바꾸기")) << onPage() << log();
    ProgramWindows::pressKey(XK_a, true);
    ProgramWindows::typeText("Reading list");
    screenshot(window, "rename-folder");
    ASSERT_TRUE(ProgramWindows::clickPage("바꾸기")) << onPage() << log();
    ASSERT_TRUE(backend.waitFor("PATCH", "/rest/v1/folders")) << log();
    EXPECT_TRUE(pageShows("Reading list")) << onPage() << log();
    EXPECT_EQ(
        json::string(backend.library->row("folders", folder).value_or(Json::object()), "name"),
        "Reading list")
        << log();

    // Delete the word (Delete on the selected word), then restore it from the trash.
    ASSERT_TRUE(ProgramWindows::clickPage("Reading notes — Test window")) << onPage() << log();
    ASSERT_TRUE(ProgramWindows::clickPage("serendipity")) << onPage() << log();
    // The word's details, with the phonetic too.
    EXPECT_TRUE(pageShows("저장한 날")) << onPage() << log();
    screenshot(window, "word-detail");
    ProgramWindows::pressKey(XK_Delete);
    ASSERT_TRUE(pageShows("휴지통에서 되살릴 수 있어요.")) << onPage() << log();
    screenshot(window, "delete-word");
    ASSERT_TRUE(ProgramWindows::clickPage("휴지통으로")) << onPage() << log();
    ASSERT_TRUE(
        DesktopSession::pumpUntil([&] { return backend.library->count("words", true) == 1; }, 15))
        << log();
    ASSERT_TRUE(ProgramWindows::clickPage("휴지통")) << onPage() << log();
    ASSERT_TRUE(ProgramWindows::clickPage("단어")) << onPage() << log();
    ASSERT_TRUE(pageShows("serendipity")) << onPage() << log();
    screenshot(window, "trash");
    ASSERT_TRUE(ProgramWindows::clickPage("되살리기")) << onPage() << log();
    ASSERT_TRUE(
        DesktopSession::pumpUntil([&] { return backend.library->count("words", false) == 1; }, 15))
        << log();
    EXPECT_EQ(backend.library->count("words", true), 0u);

    // Switch the "뜻만" card off: the next capture shows the "단어" card alone.
    ASSERT_TRUE(ProgramWindows::clickPage("팝업 카드")) << onPage() << log();
    ASSERT_TRUE(ProgramWindows::clickPage("뜻만 켜기")) << onPage() << log();
    ASSERT_TRUE(backend.waitFor("PATCH", "/rest/v1/assistants")) << log();
    screenshot(window, "popup-cards");
    ASSERT_TRUE(waitForLog("[popup_settings] 읽음 reason=manage_changed")) << log();
    DesktopSession::activate(reader->xid);
    DesktopSession::pumpFor(0.3);
    ASSERT_TRUE(reader->command("select-label 0 11")) << log();
    lookupChord();
    const auto cards = cardsShowing("1. 뜻밖의 행운 [noun]", 1);
    ASSERT_EQ(cards.size(), 1u) << log();
    DesktopSession::pumpFor(0.5);
    size_t shown = 0;
    for (const auto& card : ProgramWindows::all()) {
        shown += card.isCard() ? 1 : 0;
        EXPECT_FALSE(card.shows("· 뜻만")) << log();
    }
    EXPECT_EQ(shown, 1u) << log();
    EXPECT_TRUE(cards[0].shows("· 단어"));
    EXPECT_EQ(terminate(), 0) << log();
}

}  // namespace
}  // namespace parlendo::testing
