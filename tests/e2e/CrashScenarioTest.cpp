// A day that ends badly: the server holds the saves of two words and a sentence, and the program
// is killed (SIGKILL, as the out-of-memory killer or a crash ends it) before any is answered. The
// next start sends them again: every capture ends on the server once, or counted unsaved in the
// menu.
#include "CaptureSteps.h"

#include "foundation/Json.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

namespace parlendo::testing {
namespace {

namespace fs = std::filesystem;
using CrashScenario = CaptureSteps;

// The saves the journals of the state folder hold, and whether every file is the user's alone.
struct Journals {
    size_t saves = 0;
    bool private_ = true;
};

Journals journals(const fs::path& root) {
    Journals out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "save_journal", ec)) {
        struct stat info {};
        if (entry.path().extension() != ".json" || ::stat(entry.path().c_str(), &info) != 0) {
            continue;
        }
        out.private_ = out.private_ && (info.st_mode & 0777) == 0600;
        std::ifstream in(entry.path());
        const auto file =
            json::parse(std::string(std::istreambuf_iterator<char>(in), {})).value_or(Json());
        if (const Json* saves = json::array(file, "saves")) {
            out.saves += saves->size();
        }
    }
    return out;
}

// The lemmas of the words in the word book.
std::vector<std::string> lemmas(StubLibrary& library) {
    const auto response = library.handle("GET", "/rest/v1/words?select=lemma", "");
    std::vector<std::string> out;
    for (const auto& row : json::parse(response ? response->body : "").value_or(Json::array())) {
        out.push_back(json::string(row, "lemma").value_or(""));
    }
    return out;
}

TEST_F(CrashScenario, SavesHeldWhenTheProgramIsKilledAreSentAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", StubAnswer::hanging());
    backend.interpose("POST", "/rest/v1/sentences", StubAnswer::hanging());

    // Two words and a sentence: the first word's save is held by the server, the second waits
    // behind it, the sentence's insert is held too.
    auto first = readerWindow("Held one — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    first.reset();
    auto second = readerWindow("Held two — Test window", "ephemeral");
    lookupChord();
    ASSERT_FALSE(cardsShowing("1. 덧없는 [adjective]").empty()) << log();
    second.reset();
    auto story = readerWindow("Held story — Test window", "", ScriptedBackend::sentence);
    lookupChord();
    ASSERT_FALSE(cardsShowing(ScriptedBackend::translation).empty()) << log();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/sentences")) << log();
    const auto held = json::parse(backend.requests("POST", "/rest/v1/sentences")[0].body);
    const std::string sentenceID = held ? json::string(*held, "sentence_id").value_or("") : "";
    ASSERT_FALSE(sentenceID.empty());

    // All three wait in the journal, in a file only the user can read.
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 3; }, 10))
        << log();
    EXPECT_TRUE(journals(dataRoot()).private_);
    EXPECT_EQ(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").size(), 1u);
    EXPECT_EQ(backend.library->count("words", false), 0u);
    screenshotWindowsShowing(ScriptedBackend::translation, "held");

    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(ProgramRun::wait(pid, 10).has_value());
    story.reset();

    // The server answers again, except that it refuses the first word once: the next start sends
    // all three again, and the refused one is counted unsaved.
    backend.clear();
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1",
                      StubAnswer::json(400, R"({"code":"P0001","message":"invalid_lemma"})"), 1);
    ASSERT_GT(launch(), 0);
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return logCount("[account] restore ok") == 2 && statusItems() == 2; }, 30))
        << log();
    ASSERT_TRUE(waitForLog("[save] 지난 실행에서 끝나지 않은 저장 3건 — 다시 보냄")) << log();
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] {
            return backend.library->count("words", false) == 1 &&
                   backend.library->count("sentences", false) == 1 &&
                   journals(dataRoot()).saves == 0;
        },
        30))
        << log();
    EXPECT_EQ(lemmas(*backend.library), std::vector<std::string>{"ephemeral"});
    // The sentence keeps its id, so a save the server had made is never made twice.
    EXPECT_TRUE(backend.library->row("sentences", sentenceID).has_value());
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 +1 kind=word total=1")) << log();
    panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();
    EXPECT_TRUE(menuShows("⚠️ 저장 안 된 것 1개"))
        << ::testing::PrintToString(panel->shown());
    DesktopSession::pumpFor(1);
    EXPECT_EQ(logCount("저장 안 된 것 +1"), 1u) << log();
    EXPECT_EQ(logCount("다시 보냄"), 1u);

    // A clean end while a save is answered late: the program waits for it, and the journal is
    // left empty.
    switchDetectionOn();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return logCount("[detect] watching=true") == 2; }))
        << log();
    StubAnswer slow = StubAnswer::json(
        200, R"({"status":"ok","word_id":"w-late","snapshot_state":"inserted","created":true})");
    slow.delay = 3;
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", slow);
    auto last = readerWindow("Late one — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 1; }, 15))
        << log();
    EXPECT_EQ(terminate(), 0) << log();
    EXPECT_EQ(logCount("[save] rpc ok lemma=raw:serendipity"), 1u) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 0u);
}

// The session ends (one SIGTERM, as logging out or a service manager sends it) while the server
// holds a save: the program waits the drain out and ends without asking anyone, and the journal
// keeps the save for the next start.
TEST_F(CrashScenario, ASignalWithASaveHeldEndsAfterTheDrainWithoutAsking) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", StubAnswer::hanging());
    auto reader = readerWindow("Held at the end — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 1; }, 10))
        << log();

    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(terminate(30), 0) << log();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_GE(took, 11.0);
    const std::string text = log();
    EXPECT_NE(text.find("[shutdown] drained=false"), std::string::npos) << text;
    EXPECT_EQ(text.find("choice="), std::string::npos) << text;
    EXPECT_NE(text.find("[app] 종료"), std::string::npos) << text;
    EXPECT_EQ(journals(dataRoot()).saves, 1u);
}

}  // namespace
}  // namespace parlendo::testing
