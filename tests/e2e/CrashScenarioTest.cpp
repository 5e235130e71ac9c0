// Days that end badly: the program is killed (SIGKILL, as the out-of-memory killer or a crash
// ends it) while the server holds saves or the source of a capture, or after an outage or a
// demand for an update made it keep saves back; or the login is lost mid-save; or a recovery
// link switches accounts. The next start, the next sign-in or the login's return sends them
// again: every capture ends on the server once, or counted unsaved in the menu.
#include "CaptureSteps.h"

#include "foundation/Json.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

namespace parlendo::testing {
namespace {

namespace fs = std::filesystem;

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

class CrashScenario : public CaptureSteps {
  protected:
    // Kills the program and starts it again against a server that answers.
    void restartAfterKill() {
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        ASSERT_TRUE(ProgramRun::wait(pid, 10).has_value());
        backend.clear();
        ASSERT_GT(launch(), 0);
        ASSERT_TRUE(DesktopSession::pumpUntil(
            [&] { return logCount("[account] restore ok") == 2 && statusItems() == 2; }, 30))
            << log();
    }

    // A word captured in a window titled `title` while the server fails every word save: it is
    // given up and kept for a later start. The reading window is the caller's to close.
    std::unique_ptr<TestWindow> captureInAnOutage(const std::string& title) {
        backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1",
                          StubAnswer::json(500, R"({"message":"internal error"})"));
        auto reader = readerWindow(title, ScriptedBackend::knownWord);
        lookupChord();
        return reader;
    }

    // The server holds one word and one sentence, and the journal nothing.
    bool aWordAndASentenceSaved() {
        return backend.library->count("words", false) == 1 &&
               backend.library->count("sentences", false) == 1 && journals(dataRoot()).saves == 0;
    }

    // Waits until the one serendipity the journal held is sent again and saved, and the journal
    // is empty.
    void oneResentAndSaved() {
        ASSERT_TRUE(waitForLog("[save] 지난 실행에서 끝나지 않은 저장 1건 — 다시 보냄", 20))
            << log();
        ASSERT_TRUE(DesktopSession::pumpUntil(
            [&] {
                return backend.library->count("words", false) == 1 &&
                       journals(dataRoot()).saves == 0;
            },
            30))
            << log();
        EXPECT_EQ(lemmas(*backend.library), std::vector<std::string>{"serendipity"});
    }
};

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
    // Each counts as unsaved until the server confirms it.
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 +1 kind=sentence total=3")) << log();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return aWordAndASentenceSaved(); }, 30)) << log();
    // The two words find their sources side by side: the refusal meets whichever goes first.
    // The log reaches its file a moment after the server's state changes.
    ASSERT_TRUE(waitForLog("[save] 🔴 거부 code=invalid_lemma")) << log();
    const bool refusedFirst = logCount("[save] 🔴 거부 code=invalid_lemma lemma=raw:serendipity");
    EXPECT_EQ(lemmas(*backend.library),
              std::vector<std::string>{refusedFirst ? "ephemeral" : "serendipity"});
    // The sentence keeps its id, so a save the server had made is never made twice.
    EXPECT_TRUE(backend.library->row("sentences", sentenceID).has_value());
    panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();
    EXPECT_TRUE(menuShows("⚠️ 저장 안 된 것 1개"))
        << ::testing::PrintToString(panel->shown());
    DesktopSession::pumpFor(1);
    EXPECT_EQ(logCount("저장 안 된 것 +1"), 3u) << log();
    EXPECT_EQ(logCount("저장 안 된 것 -1"), 2u) << log();
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
    const size_t savedBefore = logCount("[save] rpc ok lemma=raw:serendipity");
    auto last = readerWindow("Late one — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 1; }, 15))
        << log();
    EXPECT_EQ(terminate(), 0) << log();
    EXPECT_EQ(logCount("[save] rpc ok lemma=raw:serendipity"), savedBefore + 1) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 0u);
}

TEST_F(CrashScenario, ACaptureWhoseSourceTheServerHoldsIsSentAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    // The server holds the search for the page's source: the first capture of every page or
    // document waits there.
    backend.interpose("GET", "/rest/v1/sources", StubAnswer::hanging());
    auto reader = readerWindow("Source held — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    ASSERT_TRUE(backend.waitFor("GET", "/rest/v1/sources")) << log();
    // It is in the journal already, with where it was captured.
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 1; }, 10))
        << log();
    EXPECT_TRUE(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").empty());
    reader.reset();

    ASSERT_NO_FATAL_FAILURE(restartAfterKill());
    ASSERT_NO_FATAL_FAILURE(oneResentAndSaved());
    // Counted unsaved until the server confirmed it.
    EXPECT_EQ(logCount("[save] 저장 안 된 것 +1 kind=word total=1"), 1u);
    EXPECT_EQ(backend.library->count("sources", false), 1u);
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 -1 — 다시 보내 저장됨")) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(CrashScenario, SavesGivenUpInAnOutageAreSentAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    auto reader = captureInAnOutage("Outage — Test window");
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1", 3, 20)) << log();
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 +1 kind=word total=1")) << log();
    ASSERT_TRUE(waitForLog("[save] 저장 대기 기록에 남김 — 다음 시작에 보냄")) << log();
    // Given up, counted, and still kept for the next start.
    EXPECT_EQ(journals(dataRoot()).saves, 1u);
    EXPECT_TRUE(menuShows("⚠️ 저장 안 된 것 1개"))
        << ::testing::PrintToString(panel->shown());
    reader.reset();

    ASSERT_NO_FATAL_FAILURE(restartAfterKill());
    ASSERT_NO_FATAL_FAILURE(oneResentAndSaved());
    ASSERT_TRUE(waitForLog("[save] 저장 안 된 것 -1 — 다시 보내 저장됨 work=")) << log();
    panel = menu();
    ASSERT_TRUE(panel.has_value()) << log();
    panel->opening();
    DesktopSession::pumpFor(0.5);
    EXPECT_FALSE(panel->find("⚠️ 저장 안 된 것"))
        << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(CrashScenario, ASaveWhoseLoginTheServerRefusesGoesOutAfterTheNextSignIn) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    // The access token ran out and the server refuses the refresh: the session is lost while
    // the save is on its way. The account still owns the capture.
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1",
                      StubAnswer::json(401, R"({"code":"PGRST301","message":"JWT expired"})"), 1);
    backend.interpose("POST", "/auth/v1/token",
                      StubAnswer::json(400, R"({"error_code":"refresh_token_not_found"})",
                                       {{"Content-Type", "application/json"}}),
                      1);
    auto reader = readerWindow("Refused — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/auth/v1/token")) << log();
    const auto login = ProgramWindows::showing("계정이 없어요 → 회원가입", 20);
    ASSERT_TRUE(login.has_value()) << log();
    ASSERT_TRUE(waitForLog("[save] 버림 why=auth_required")) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 1u) << log();
    EXPECT_EQ(backend.library->count("words", false), 0u);

    ASSERT_TRUE(ProgramWindows::type(*login, 0, ScriptedBackend::email));
    ASSERT_TRUE(ProgramWindows::type(*login, 1, ScriptedBackend::password));
    ASSERT_TRUE(ProgramWindows::click(*login, "button", "로그인"));
    ASSERT_NO_FATAL_FAILURE(oneResentAndSaved());

    // The user's own sign-out, once its wait for the saves is over, takes the journal with it.
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return logCount("[detect] watching=true") == 2; }))
        << log();
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", StubAnswer::hanging());
    lookupChord();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return journals(dataRoot()).saves == 1; }, 15))
        << log();
    ASSERT_TRUE(panel->click(std::string(ScriptedBackend::email) + " — 로그아웃…"));
    const auto question = ProgramWindows::showingPart("로그아웃할까요?");
    ASSERT_TRUE(question.has_value()) << log();
    ASSERT_TRUE(ProgramWindows::click(*question, "button", "로그아웃"));
    ASSERT_TRUE(waitForLog("[save] 로그아웃 — 저장 대기 기록 지움", 30)) << log();
    EXPECT_TRUE(waitForLog("[auth] 로그아웃 — 기다리던 저장 1건")) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 0u);
    backend.clear();
    EXPECT_EQ(terminate(), 0) << log();
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

// The server says the program must be updated while a word and a sentence are saved: that
// refuses the program, not the captures, which wait for the next start.
TEST_F(CrashScenario, CapturesRefusedForAnUpdateAreSentAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    const StubAnswer update =
        StubAnswer::json(426, R"({"code":"app_update_required","notice":"update_required"})");
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", update);
    backend.interpose("POST", "/rest/v1/sentences", update);
    auto reader = readerWindow("Update — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    reader.reset();
    auto story = readerWindow("Update story — Test window", "", ScriptedBackend::sentence);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/sentences")) << log();
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return logCount("[save] 저장 대기 기록에 남김 — 다음 시작에 보냄") == 2; }, 15))
        << log();
    EXPECT_EQ(journals(dataRoot()).saves, 2u);
    story.reset();

    ASSERT_NO_FATAL_FAILURE(restartAfterKill());
    ASSERT_TRUE(waitForLog("[save] 지난 실행에서 끝나지 않은 저장 2건 — 다시 보냄", 20)) << log();
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return aWordAndASentenceSaved(); }, 30)) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

// A password-recovery link of another account, followed while this account has a capture kept
// unsaved: the link signs this account out, but the capture is still this account's own.
TEST_F(CrashScenario, ARecoveryLinkOfAnotherAccountKeepsThisAccountsCaptures) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    auto reader = captureInAnOutage("Kept — Test window");
    ASSERT_TRUE(waitForLog("[save] 저장 대기 기록에 남김 — 다음 시작에 보냄", 30)) << log();
    ASSERT_EQ(journals(dataRoot()).saves, 1u);
    reader.reset();
    backend.clear();

    const std::string link = backend.recoveryLink("other@parlendo.test");
    ASSERT_FALSE(link.empty());
    const pid_t second = launch({link});
    EXPECT_EQ(ProgramRun::wait(second, 15), 0);
    const auto question = ProgramWindows::showingPart("비밀번호를 다시 정할까요?");
    ASSERT_TRUE(question.has_value()) << log();
    // Its acting button wakes a moment after the question shows.
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] {
            ProgramWindows::click(*question, "button", "계속");
            return !ProgramWindows::showingPart("비밀번호를 다시 정할까요?", 0).has_value();
        },
        10))
        << log();
    ASSERT_TRUE(waitForLog("[account] recovery_link adopted", 30)) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 1u) << log();
    EXPECT_EQ(logCount("저장 대기 기록 지움"), 0u) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

// The server refuses the access token mid-save and the refresh does not get through: the word
// waits, and goes out as soon as a later refresh renews the login.
TEST_F(CrashScenario, ASaveDroppedWithALostLoginGoesOutWhenTheLoginIsBack) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    const StubAnswer expired =
        StubAnswer::json(401, R"({"code":"PGRST301","message":"JWT expired"})");
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", expired, 1);
    backend.interpose("POST", "/auth/v1/token", StubAnswer::dropped(), 1);
    auto first = readerWindow("Lost login — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(waitForLog("[save] 버림 why=auth_required")) << log();
    EXPECT_EQ(journals(dataRoot()).saves, 1u) << log();
    first.reset();

    // The next save meets an expired token too; this time the refresh gets through.
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", expired, 1);
    auto second = readerWindow("Login back — Test window", "ephemeral");
    lookupChord();
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] {
            return backend.library->count("words", false) == 2 && journals(dataRoot()).saves == 0;
        },
        30))
        << log();
    EXPECT_TRUE(waitForLog("[save] 로그인이 돌아옴 — 버렸던 저장 1건 다시 보냄")) << log();
    EXPECT_EQ(terminate(), 0) << log();
    // Sent once, and a drop is never counted unsaved.
    EXPECT_EQ(logCount("다시 보냄"), 1u) << log();
    EXPECT_EQ(logCount("저장 안 된 것 +1"), 0u) << log();
}

}  // namespace
}  // namespace parlendo::testing
