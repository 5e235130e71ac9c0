#include "capture/CaptureCoordinator.h"

#include "CaptureQueues.h"
#include "FakeInputSource.h"
#include "FakePopupPresenter.h"
#include "FakeSelectionReader.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "capture/SyntheticCopyLedger.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

namespace fs = std::filesystem;

using namespace parlendo::testing;

// The coordinator over fakes: a server that answers nothing, a signed-in session, a fake input
// source, card presenter and readers, and a trust the test switches.
struct CaptureCoordinatorTest : ::testing::Test, CaptureQueues {
    CaptureCoordinatorTest() {
        env->session = session;
        env->server = server;
        env->client = server;
        env->titleClient = server;
        env->gate = std::make_shared<ServerGate>();
        env->net = std::make_shared<NetState>();
        env->detect = std::make_shared<DetectStore>();
        env->input = std::make_shared<InputHub>(input, std::make_shared<SyntheticCopyLedger>());
        env->accountScope = std::make_shared<AccountScope>();
        env->shutdown = std::make_shared<ShutdownGate>();
        env->unsaved = std::make_shared<UnsavedCounter>();
        env->popupDefaults = DefaultPopupSeeder::make(server, session, [](const std::string&) {});
        env->main = main;
        env->requestLogin = [this] {
            ++loginRequests;
        };
        env->requestPermission = [this] {
            ++permissionRequests;
        };

        desktop.popup = popups;
        desktop.show = [this](const std::string& text, double seconds) {
            shown.emplace_back(text, seconds);
        };
        desktop.readers.frontApplication = [] {
            return std::optional<RunningApplication>();
        };
        desktop.readers.ownPid = 1;
        desktop.readers.makeReader = [this](const RunningApplication&) {
            return std::make_shared<FakeSelectionReader>(std::make_shared<FakePasteboard>(), clock);
        };
        desktop.readers.context = std::make_shared<FakeContextReader>();
        desktop.fetchQueue = fetchQueue;
        desktop.clock = clock;
        desktop.trusted = [this] {
            return lastRead;
        };
        desktop.refreshTrust = [this](std::function<void()> done) {
            main->post([this, done = std::move(done)] {
                lastRead = trusted;
                done();
            });
        };
        desktop.watchSystemNotice = [this](std::function<void()> onNotice) {
            systemNotice = std::move(onNotice);
        };
        desktop.restoreAccessibility = [this] {
            return ++restores;
        };
        desktop.signals = &signals;
        coordinator = CaptureCoordinator::make(env, desktop);
        coordinator->start();
    }

    void grant(bool permission, bool loggedIn) {
        env->detect->write([&](DetectState& state) {
            state.permissionGranted = permission;
            state.loggedIn = loggedIn;
        });
    }

    LogCapture log;
    std::shared_ptr<AppEnvironment> env = std::make_shared<AppEnvironment>();
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>();
    std::shared_ptr<FakeInputSource> input = std::make_shared<FakeInputSource>();
    std::shared_ptr<FakePopupPresenter> popups = std::make_shared<FakePopupPresenter>();
    NotificationCenter signals{main};
    CaptureDesktop desktop;
    std::shared_ptr<CaptureCoordinator> coordinator;
    std::vector<std::pair<std::string, double>> shown;
    std::function<void()> systemNotice;
    // The trust as the system has it now, and as the coordinator's desktop last read it.
    bool trusted = false;
    bool lastRead = false;
    int restores = 0;
    int loginRequests = 0;
    int permissionRequests = 0;
};

TEST_F(CaptureCoordinatorTest, ToggleAsksForWhatIsMissingBeforeSwitching) {
    grant(true, false);
    coordinator->toggleHotkey()->onTrigger();
    EXPECT_EQ(loginRequests, 1);
    EXPECT_FALSE(env->detect->state().enabled);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(log.count("detect", "source="), 0u);

    grant(false, true);
    coordinator->toggleHotkey()->onTrigger();
    EXPECT_EQ(permissionRequests, 1);
    EXPECT_EQ(loginRequests, 1);

    grant(true, true);
    coordinator->toggleHotkey()->onTrigger();
    EXPECT_TRUE(env->detect->state().enabled);
    EXPECT_TRUE(log.has("detect", "enabled=true source=option_double_tap"));
    EXPECT_EQ(shown.back(), std::make_pair(std::string("감지 켜짐"), 1.2));
    // Watching now: the controller follows, and the line names no blocker.
    EXPECT_TRUE(coordinator->controller()->enabled());
    EXPECT_TRUE(log.has("detect", "watching=true enabled=true ready=true healthy=true"));

    coordinator->menu().status[2]->handler();
    EXPECT_FALSE(coordinator->controller()->enabled());
    EXPECT_TRUE(log.has("detect", "enabled=false source=menu"));
    EXPECT_TRUE(log.has("detect",
                        "watching=false enabled=false ready=true healthy=true "
                        "blocker=꺼짐"));
}

TEST_F(CaptureCoordinatorTest, RejectionCountsDoNotTouchTheControllerOrTheLog) {
    const auto before = log.messages("detect").size();
    coordinator->controller()->onRejected(true);
    coordinator->pipeline()->onPopupsRejected(2);
    EXPECT_EQ(env->detect->state().rejections.busy, 1);
    EXPECT_EQ(env->detect->state().rejections.popups, 2);
    EXPECT_EQ(log.messages("detect").size(), before);
}

TEST_F(CaptureCoordinatorTest, ASystemNoticeChecksTrustTwiceAndOnlyAChangeActs) {
    ASSERT_TRUE(systemNotice);
    trusted = true;
    systemNotice();
    clock->advance(0.5);
    EXPECT_TRUE(log.has("permission", "손쉬운 사용 권한이 다시 켜짐 source=system_notice"));
    EXPECT_TRUE(env->detect->state().permissionGranted);
    clock->advance(1.5);
    EXPECT_EQ(log.messages("permission").size(), 1u);

    // The accessibility bus goes away with no notice: the periodic check reads the trust anew.
    trusted = false;
    clock->advance(10.0);
    EXPECT_FALSE(lastRead);
    EXPECT_TRUE(log.has("permission",
                        "🔴 손쉬운 사용 권한이 실행 중에 꺼짐 source=timer — "
                        "감지를 멈추고 안내한다"));
    EXPECT_FALSE(env->detect->state().permissionGranted);
    EXPECT_EQ(shown.back(), std::make_pair(std::string("손쉬운 사용 권한이 꺼졌어요 · 감지가 "
                                                       "멈췄어요"),
                                           4.0));
    EXPECT_EQ(permissionRequests, 1);
}

TEST_F(CaptureCoordinatorTest, FailedWordSavesCountAsUnsavedAndRetriesSaySo) {
    const auto outcome = [](const char* id, SaveVerdict verdict) {
        return WordSaver::Outcome{SaveWork(id, "src", "cat", std::nullopt, std::nullopt, {}, 0), 3,
                                  tl::unexpected(std::move(verdict)), "rpc"};
    };
    const auto hook = coordinator->words()->onOutcome();
    hook(outcome("ABCDEF12-3456-7890-ABCD-EF1234567890", SaveVerdict::retry("timeout")));
    EXPECT_EQ(env->unsaved->total(), 1);
    EXPECT_TRUE(log.has("save", "🔴 단어 저장 여부 모름 why=timeout attempts=3 work=ABCDEF12"));
    hook(outcome("BCDEF123-3456-7890-ABCD-EF1234567890", SaveVerdict::terminal("P0001")));
    EXPECT_EQ(env->unsaved->total(), 2);
    // The same capture told again (sent again later and refused) is still one.
    hook(outcome("BCDEF123-3456-7890-ABCD-EF1234567890", SaveVerdict::terminal("P0001")));
    EXPECT_EQ(env->unsaved->total(), 2);
    hook(outcome("CDEF1234-3456-7890-ABCD-EF1234567890", SaveVerdict::drop("signed_out")));
    EXPECT_EQ(env->unsaved->total(), 2);
    EXPECT_EQ(log.count("save", "🔴"), 1u);

    // A change of account empties the count, and every per-user part, in this order.
    env->accountScope->observe(std::string("user-2"));
    EXPECT_EQ(env->unsaved->total(), 0);
    EXPECT_TRUE(log.has("account",
                        "계정이 바뀜 — 비움: 제목 벡터 · 출처 기억 · 저장 안 된 것 · "
                        "팝업 설정"));
}

// The program quits while the journal's writer has still to write that a confirmed save leaves
// it: the quit goes on once that is on disk, so the next start does not send the save again.
TEST_F(CaptureCoordinatorTest, TheQuitWaitsForTheJournalsWrites) {
    TempDir root;
    auto writer = std::make_shared<ManualExecutor>();
    auto journal = SaveJournal::make(root.path(), writer);
    auto quitting = std::make_shared<AppEnvironment>(*env);
    quitting->shutdown = std::make_shared<ShutdownGate>();
    quitting->accountScope = std::make_shared<AccountScope>();
    CaptureDesktop withJournal = desktop;
    withJournal.journal = journal;
    auto other = CaptureCoordinator::make(quitting, std::move(withJournal));
    other->start();
    journal->record("user-1",
                    JournalEntry{SentenceWork{"S1", "source-1", "The cat sat.", "고양이가 앉았다."},
                                 std::nullopt},
                    [] {});
    writer->runAll();
    journal->settle("user-1", "S1");

    bool ended = false;
    quitting->shutdown->runTerminationTasks(main, [&] { ended = true; });
    main->runAll();
    fetchQueue->runAll();
    // Nothing after the journal's turn runs while the removal waits for the writer.
    EXPECT_EQ(restores, 0);
    EXPECT_TRUE(fs::exists(journal->fileOf("user-1")));
    writer->runAll();
    main->runAll();
    fetchQueue->runAll();
    EXPECT_EQ(restores, 1);
    clock->advance(ShutdownGate::laterTaskBound);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(fs::exists(journal->fileOf("user-1")));
}

TEST_F(CaptureCoordinatorTest, ShutdownMenuAndRoutes) {
    EXPECT_EQ(env->shutdown->counterCount(), 1u);
    EXPECT_EQ(env->shutdown->inFlight(), 0);
    EXPECT_EQ(env->shutdown->taskNames(),
              (std::vector<std::string>{"접근성 되돌리기", "제목 벡터 수"}));
    // The switches are turned back on the fetch queue, after what it holds, while the main
    // executor stays free.
    bool ended = false;
    env->shutdown->runTerminationTasks(main, [&] { ended = true; });
    EXPECT_EQ(restores, 0);
    fetchQueue->runAll();
    EXPECT_EQ(restores, 1);
    clock->advance(ShutdownGate::laterTaskBound);
    EXPECT_TRUE(ended);

    coordinator->refreshMenu();
    const auto menu = coordinator->menu();
    ASSERT_EQ(menu.status.size(), 3u);
    EXPECT_TRUE(menu.actions.empty() && menu.device.empty() && menu.cleanup.empty() &&
                menu.account.empty());
    EXPECT_EQ(menu.status[0]->title, "○ 감지 꺼짐");
    EXPECT_FALSE(menu.status[0]->enabled);
    EXPECT_TRUE(menu.status[1]->hidden);
    EXPECT_EQ(menu.status[2]->title, "감지 켜기  (Alt 두 번)");

    // Watching: the state line names the keys as this desktop does.
    grant(true, true);
    coordinator->toggleHotkey()->onTrigger();
    coordinator->refreshMenu();
    EXPECT_EQ(menu.status[0]->title, "● 감지 중 — 글을 선택하고 Alt+Ctrl을 같이 누르세요");
    EXPECT_EQ(menu.status[2]->title, "감지 끄기  (Alt 두 번)");
    EXPECT_FALSE(menu.status[1]->hidden);

    const auto routes = coordinator->bridgeRoutes();
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0]->routes().size(), 3u);
    EXPECT_TRUE(routes[0]->routes().contains("detect_status"));
}

}  // namespace
}  // namespace parlendo
