// A day with trouble: the server stops answering in the middle of a capture, the login expires,
// the server goes into maintenance, the program is started a second time, and the session ends
// while a save is on its way, or the user quits while the server holds one.
#include "CaptureSteps.h"

#include "foundation/Json.h"

#include <signal.h>

namespace parlendo::testing {
namespace {

using TroubleScenario = CaptureSteps;

TEST_F(TroubleScenario, TheServerStopsAnsweringMidCaptureAndComesBack) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("No network — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    backend.interpose("POST", "/rest/v1/rpc/dict_lookup", StubAnswer::hanging());
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/dict_lookup")) << log();
    const auto loading = cardsShowing("조회 중…", 2);
    ASSERT_EQ(loading.size(), 2u) << log();
    screenshot(loading[0].place, "waiting");
    // The lookup gives up within its budget; the cards say so and close; nothing is saved.
    ASSERT_TRUE(waitForLog("[lookup] 실패 timeout", 20)) << log();
    EXPECT_EQ(cardsShowing("서버가 늦어요 · 다시 눌러 보세요", 2).size(), 2u) << log();
    screenshotWindowsShowing("서버가 늦어요 · 다시 눌러 보세요", "gave-up");
    ASSERT_TRUE(cardsGone()) << log();
    EXPECT_TRUE(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1").empty());

    // The server answers again: the next capture is whole.
    backend.clear();
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    EXPECT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(TroubleScenario, AnExpiredLoginIsRefreshedAndTheRequestSentAgain) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("Expired — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    const size_t refreshes = backend.requests("POST", "/auth/v1/token").size();
    // The access token ran out: the server refuses the next request once.
    backend.interpose("POST", "/rest/v1/rpc/dict_lookup",
                      StubAnswer::json(401, R"({"code":"PGRST301","message":"JWT expired"})"), 1);
    lookupChord();
    ASSERT_EQ(cardsShowing("1. 뜻밖의 행운 [noun]", 2).size(), 2u) << log();
    const auto lookups = backend.requests("POST", "/rest/v1/rpc/dict_lookup");
    ASSERT_EQ(lookups.size(), 2u);
    const auto tokens = backend.requests("POST", "/auth/v1/token");
    ASSERT_EQ(tokens.size(), refreshes + 1);
    EXPECT_EQ(tokens.back().query, "grant_type=refresh_token");
    // Sent again with the new access token, after the refresh.
    EXPECT_NE(lookups[0].header("Authorization"), lookups[1].header("Authorization"));
    EXPECT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    // The new login is what the keychain keeps for the next start.
    EXPECT_TRUE(waitForLog("[account] restore ok"));
    EXPECT_FALSE(menuShows("로그인")) << ::testing::PrintToString(panel->shown());
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(TroubleScenario, TheServerGoesIntoMaintenance) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto story = readerWindow("Maintenance — Test window", "", ScriptedBackend::sentence);
    switchDetectionOn();
    backend.interpose("POST", "/functions/v1/translate-sentence",
                      StubAnswer::json(503, R"({"error":"feature_disabled","details":"translate",)"
                                            R"("hint":"maintenance"})"));
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/functions/v1/translate-sentence")) << log();
    ASSERT_TRUE(waitForLog("[server_gate] reason=feature_disabled where=translate")) << log();
    const auto cards = cardsShowing("번역을 가져오지 못했어요");
    ASSERT_EQ(cards.size(), 1u) << log();
    screenshot(cards[0].place, "translation-refused");
    // The menu tells the user, and the blocked function is not asked again meanwhile.
    EXPECT_TRUE(menuShows("서버 점검 중 — 일부 기능이 잠시 멈출 수 있어요"))
        << ::testing::PrintToString(panel->shown());
    ASSERT_TRUE(cardsGone()) << log();
    lookupChord();
    DesktopSession::pumpFor(2);
    EXPECT_EQ(backend.requests("POST", "/functions/v1/translate-sentence").size(), 1u);
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(TroubleScenario, ASecondLaunchOpensTheManageWindowOfTheFirst) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    const pid_t first = pid;
    const pid_t second = launch();
    ASSERT_GT(second, 0);
    EXPECT_EQ(ProgramRun::wait(second, 15), 0);
    EXPECT_TRUE(waitForLog("이미 실행 중(pid=" + std::to_string(first) + ")")) << log();
    EXPECT_TRUE(waitForLog("[app] 다시 열기 source=second_launch — 관리 창을 연다")) << log();
    ASSERT_TRUE(waitForLog("[manage] 관리 화면 로드됨", 30)) << log();
    EXPECT_EQ(::kill(first, 0), 0);
    EXPECT_EQ(pid, first);
    EXPECT_EQ(logCount("[auth] restore 성공"), 1u);
    EXPECT_EQ(terminate(), 0) << log();
}

TEST_F(TroubleScenario, TheSessionEndsWhileASaveIsOnItsWay) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    auto reader = readerWindow("Last word — Test window", ScriptedBackend::knownWord);
    switchDetectionOn();
    // The save takes four seconds to be answered.
    StubAnswer slow = StubAnswer::json(
        200, R"({"status":"ok","word_id":"w-slow","snapshot_state":"inserted","created":true,)"
             R"("sense_count":2})");
    slow.delay = 4;
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", slow);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    ASSERT_TRUE(endSession());
    // The program waits for the save before it ends, and ends cleanly.
    ASSERT_TRUE(waitForLog("[shutdown] 진행 중 작업 ")) << log();
    EXPECT_EQ(ProgramRun::wait(pid, 20), 0) << log();
    const std::string text = log();
    const auto saved = text.find("[save] rpc ok lemma=raw:serendipity");
    const auto ended = text.find("[app] 종료");
    ASSERT_NE(saved, std::string::npos) << text;
    ASSERT_NE(ended, std::string::npos) << text;
    EXPECT_LT(saved, ended);
    EXPECT_NE(text.find("[shutdown] drained=true"), std::string::npos) << text;
    EXPECT_EQ(text.find("저장 안 된 것 +1"), std::string::npos);
}

// The user quits while the server holds a save, and goes on reading. The question after the
// drain's wait comes above the reader, which keeps the keyboard: keys meant for the reader must
// not answer it.
TEST_F(TroubleScenario, TheQuestionAfterTheDrainComesAboveTheWindowTheUserWentOnIn) {
    ASSERT_NO_FATAL_FAILURE(startReading());
    switchDetectionOn();
    backend.interpose("POST", "/rest/v1/rpc/save_word_snapshot_v1", StubAnswer::hanging());
    auto reader = readerWindow("Held at quit — Test window", ScriptedBackend::knownWord);
    lookupChord();
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    const unsigned quitting = DesktopSession::serverTime();
    ASSERT_TRUE(panel->click("PARLENDO 종료", quitting));
    ASSERT_TRUE(waitForLog("[shutdown] 진행 중 작업 ")) << log();
    ASSERT_TRUE(DesktopSession::clickInto(reader->xid));
    ASSERT_TRUE(DesktopSession::pumpUntil(
        [&] { return DesktopSession::userTime(reader->xid) > quitting; }));

    const auto question = ProgramWindows::showing("아직 저장이 끝나지 않았어요", 30);
    ASSERT_TRUE(question.has_value()) << log();
    EXPECT_TRUE(DesktopSession::pumpUntil([&] {
        return DesktopSession::stackedAbove(question->xid, reader->xid);
    })) << DesktopSession::activeWindow();
    EXPECT_EQ(DesktopSession::focusedWindow(), reader->xid);
    screenshot(question->place, "quit-question");
    ASSERT_TRUE(ProgramWindows::click(*question, "button", "그냥 종료"));
    EXPECT_EQ(ProgramRun::wait(pid, 15), 0) << log();
    EXPECT_NE(log().find("choice=quitAnyway"), std::string::npos) << log();
}

}  // namespace
}  // namespace parlendo::testing
