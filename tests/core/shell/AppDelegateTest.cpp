#include "shell/AppDelegate.h"

#include "FakeInputSource.h"
#include "FakeModule.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "capture/SyntheticCopyLedger.h"
#include "shell/ShutdownDrain.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using namespace parlendo::testing;

class NamedRoutes final : public BridgeRoutes {
  public:
    explicit NamedRoutes(std::string name) : name_(std::move(name)) {}
    std::map<std::string, BridgeEntry> routes() const override { return notYet({name_}); }
    std::string name_;
};

// The delegate over fake modules, a hand-built environment and a desktop that records what it is
// asked to do.
struct DelegateRig {
    DelegateRig() {
        env->detect = std::make_shared<DetectStore>();
        env->input = std::make_shared<InputHub>(input, std::make_shared<SyntheticCopyLedger>());
        env->shutdown = std::make_shared<ShutdownGate>();
        env->unsaved = std::make_shared<UnsavedCounter>();
        env->gate = std::make_shared<ServerGate>();
        env->theme = std::make_shared<ThemeStore>([] { return ThemeMode::light; });
        env->main = main;
        env->openManage = [this] {
            journal.push_back("openManage");
        };
        env->shutdown->addCounter([this] { return inFlight.load(); });

        AppDelegate::Parts parts;
        parts.environment = [this] {
            journal.push_back("environment");
            return env;
        };
        parts.modules = [this](const std::shared_ptr<AppEnvironment>& built) {
            EXPECT_EQ(built, env);
            journal.push_back("modules");
            return AppDelegate::Modules{capture, aitalk, manage, account};
        };
        parts.giveRoutes = [this](std::function<AppDelegate::RouteGroups()> source) {
            journal.push_back("giveRoutes");
            allRoutes = std::move(source);
        };
        parts.restoreSession = [this] {
            journal.push_back("restore");
        };
        parts.openLink = [this](const std::string& url) {
            opened.push_back(url);
        };

        AppDelegate::Platform platform;
        platform.version = "0.2.0+mac.20250301.01";
        platform.trusted = [this] {
            return trusted;
        };
        platform.showPermission = [this](StartupWindows::Answered answered) {
            ++permissionShown;
            permissionAnswered = std::move(answered);
        };
        platform.installMainMenu = [this] {
            journal.push_back("mainMenu");
        };
        platform.bindAppearance = [this](const std::shared_ptr<ThemeStore>&) {
            journal.push_back("appearance");
        };
        platform.prompt = [this](int remaining, int unsaved,
                                 Completion<void(ShutdownPrompt::Choice)> choice) {
            prompts.emplace_back(remaining, unsaved);
            pendingChoice = std::move(choice);
        };
        // Closing the question answers it the way the window does.
        platform.closePrompt = [this] {
            ++promptsClosed;
            if (pendingChoice) {
                auto pending = std::move(pendingChoice);
                pendingChoice = nullptr;
                pending(ShutdownPrompt::Choice::cancel);
            }
        };
        platform.replyToTerminate = [this](bool terminate) {
            replies.push_back(terminate);
        };
        platform.background = background;
        platform.main = main;
        platform.clock = clock;
        platform.mark = [this](const std::string& name) {
            marks.push_back(name);
        };
        platform.sampler = [this] {
            ++samples;
            return std::optional<ProcStats::Sample>();
        };
        delegate = AppDelegate::make(std::move(parts), std::move(platform));
        env->detect->addObserver([this](const DetectState& now, const DetectState& before) {
            seen.emplace_back(now, before);
        });
    }

    void choose(ShutdownPrompt::Choice choice) {
        ASSERT_TRUE(pendingChoice);
        auto pending = std::move(pendingChoice);
        pendingChoice = nullptr;
        pending(choice);
        main->runAll();
    }

    // Runs the drain until it reports back on the main thread.
    void drain(double seconds) {
        background->runAll();
        clock->advance(seconds);
        main->runAll();
    }

    LogCapture log;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> background = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakeInputSource> input = std::make_shared<FakeInputSource>();
    std::shared_ptr<AppEnvironment> env = std::make_shared<AppEnvironment>();
    std::vector<std::string> journal;
    std::shared_ptr<FakeModule> capture = std::make_shared<FakeModule>("capture", &journal);
    std::shared_ptr<FakeModule> aitalk = std::make_shared<FakeModule>("aitalk", &journal);
    std::shared_ptr<FakeModule> manage = std::make_shared<FakeModule>("manage", &journal);
    std::shared_ptr<FakeModule> account = std::make_shared<FakeModule>("account", &journal);
    std::function<AppDelegate::RouteGroups()> allRoutes;
    std::vector<std::string> opened;
    std::vector<std::string> marks;
    std::vector<std::pair<DetectState, DetectState>> seen;
    std::vector<std::pair<int, int>> prompts;
    Completion<void(ShutdownPrompt::Choice)> pendingChoice;
    std::vector<bool> replies;
    int promptsClosed = 0;
    std::atomic<int> inFlight{0};
    bool trusted = false;
    int permissionShown = 0;
    StartupWindows::Answered permissionAnswered;
    int samples = 0;
    std::shared_ptr<AppDelegate> delegate;
};

TEST(AppDelegateTest, LaunchRunsItsStepsInOrder) {
    DelegateRig rig;
    rig.capture->routes = {std::make_shared<NamedRoutes>("detect_status")};
    rig.manage->routes = {std::make_shared<NamedRoutes>("save_review"),
                          std::make_shared<NamedRoutes>("get_ui_theme")};
    rig.delegate->launch(std::nullopt);

    EXPECT_EQ(rig.journal, (std::vector<std::string>{
                               "mainMenu", "environment", "appearance", "giveRoutes", "modules",
                               "capture.start", "aitalk.start", "manage.start", "account.start"}));
    EXPECT_EQ(rig.marks, std::vector<std::string>{"launched"});
    EXPECT_TRUE(
        rig.log.startingWith("app", "시작 · 버전=0.2.0+mac.20250301.01 · 손쉬운사용=false · pid=")
            .size() > 0);
    // No permission: written into the state, and the window is shown.
    EXPECT_FALSE(rig.env->detect->state().permissionGranted);
    EXPECT_EQ(rig.permissionShown, 1);
    EXPECT_FALSE(rig.env->input->isRunning());
    EXPECT_EQ(rig.delegate->statusMenu().groups().size(), 3u);
    EXPECT_TRUE(rig.delegate->launchFinished());

    // The session restore runs as a task of its own, after launch.
    rig.main->runAll();
    EXPECT_EQ(rig.journal.back(), "restore");

    // The route source joins every module's groups in module order.
    ASSERT_TRUE(rig.allRoutes);
    std::vector<std::string> names;
    for (const auto& group : rig.allRoutes()) {
        names.push_back(group->routes().begin()->first);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"detect_status", "save_review", "get_ui_theme"}));

    // The environment's permission request shows the window; reopening opens the manage window.
    rig.env->requestPermission();
    EXPECT_EQ(rig.permissionShown, 2);
    rig.delegate->reopen("second_launch");
    EXPECT_EQ(rig.journal.back(), "openManage");
    EXPECT_TRUE(rig.log.has("app", "다시 열기 source=second_launch — 관리 창을 연다"));
}

TEST(AppDelegateTest, AnAlertOfTheStartHoldsTheLaunchAndTheWindowsComeOneAtATime) {
    DelegateRig rig;
    // What the install check asks for while the modules start: an alert, then the notice.
    StartupWindows::Answered alertAnswered;
    StartupWindows::Answered noticeAnswered;
    std::vector<std::string> shown;
    rig.account->onStart = [&] {
        rig.env->startupWindows->hold("downgrade", [&](StartupWindows::Answered answered) {
            shown.push_back("downgrade");
            alertAnswered = std::move(answered);
        });
        rig.env->startupWindows->show("notice", [&](StartupWindows::Answered answered) {
            shown.push_back("notice");
            noticeAnswered = std::move(answered);
        });
    };
    rig.delegate->launch(std::nullopt);
    EXPECT_EQ(shown, std::vector<std::string>{"downgrade"});
    EXPECT_FALSE(rig.delegate->launchFinished());
    EXPECT_TRUE(rig.delegate->statusMenu().groups().empty());
    rig.main->runAll();
    EXPECT_NE(rig.journal.back(), "restore");

    // Answered: the launch goes on; the permission window waits for the notice.
    ASSERT_TRUE(alertAnswered);
    alertAnswered();
    EXPECT_TRUE(rig.delegate->launchFinished());
    EXPECT_EQ(rig.delegate->statusMenu().groups().size(), 3u);
    EXPECT_EQ(shown, (std::vector<std::string>{"downgrade", "notice"}));
    EXPECT_EQ(rig.permissionShown, 0);
    noticeAnswered();
    EXPECT_EQ(rig.permissionShown, 1);
    EXPECT_EQ(rig.env->startupWindows->open(), "permission");
    rig.permissionAnswered();
    EXPECT_EQ(rig.env->startupWindows->open(), "");
}

TEST(AppDelegateTest, APermissionThatArrivedWhileItWaitedIsNotAskedFor) {
    DelegateRig rig;
    StartupWindows::Answered noticeAnswered;
    rig.account->onStart = [&] {
        rig.env->startupWindows->show("notice", [&](StartupWindows::Answered answered) {
            noticeAnswered = std::move(answered);
        });
    };
    rig.delegate->launch(std::nullopt);
    rig.trusted = true;
    noticeAnswered();
    EXPECT_EQ(rig.permissionShown, 0);
    EXPECT_EQ(rig.env->startupWindows->open(), "");
}

TEST(AppDelegateTest, ADuplicateBuildsNothingAndQuitsAtOnce) {
    DelegateRig rig;
    rig.env->shutdown->addTask("task", [&] { rig.journal.push_back("task"); });
    rig.delegate->launch(4242);
    EXPECT_TRUE(rig.delegate->terminatingAsDuplicate());
    EXPECT_TRUE(rig.log.has("app", "이미 실행 중(pid=4242) — 그쪽에 관리 창을 열라고 알리고 종료"));
    EXPECT_EQ(rig.delegate->shouldTerminate(), AppDelegate::TerminateReply::now);
    rig.delegate->willTerminate();
    EXPECT_TRUE(rig.journal.empty());
    EXPECT_FALSE(rig.log.has("app", "종료"));
}

TEST(AppDelegateTest, EarlyLinksAreHeldAndOpenedInOrderAfterLaunch) {
    DelegateRig rig;
    rig.delegate->open(
        {"parlendo://auth-callback#a", "https://example.com", "Parlendo://auth-callback#x"});
    rig.delegate->open({"parlendo://auth-callback#b"});
    rig.delegate->open({"mailto:x@example.com"});
    EXPECT_TRUE(rig.log.has("app", "link held n=1 — 시작이 끝난 뒤 처리"));
    EXPECT_TRUE(rig.log.has("app", "link held n=2 — 시작이 끝난 뒤 처리"));
    EXPECT_EQ(rig.log.count("app", "link held"), 2u);
    EXPECT_TRUE(rig.opened.empty());

    rig.delegate->launch(std::nullopt);
    EXPECT_EQ(rig.opened, (std::vector<std::string>{"parlendo://auth-callback#a",
                                                    "parlendo://auth-callback#b"}));
    EXPECT_TRUE(rig.delegate->heldLinks().empty());
    rig.delegate->open({"parlendo://auth-callback#c"});
    EXPECT_EQ(rig.opened.back(), "parlendo://auth-callback#c");
}

TEST(AppDelegateTest, ASecondLaunchDuringLaunchIsHeldAndActedOnOnce) {
    DelegateRig rig;
    rig.delegate->reopen("second_launch");
    rig.delegate->reopen("second_launch");
    EXPECT_EQ(rig.log.count("app", "다시 열기 보류 source=second_launch — 시작이 끝난 뒤 처리"),
              1u);
    EXPECT_EQ(std::count(rig.journal.begin(), rig.journal.end(), "openManage"), 0);

    rig.delegate->launch(std::nullopt);
    EXPECT_EQ(rig.journal.back(), "openManage");
    EXPECT_EQ(std::count(rig.journal.begin(), rig.journal.end(), "openManage"), 1);
    EXPECT_EQ(rig.log.count("app", "다시 열기 source=second_launch — 관리 창을 연다"), 1u);
}

TEST(AppDelegateTest, PermissionArrivalStartsInputAndMarksReadyOnce) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.env->detect->write([](DetectState& state) { state.loggedIn = true; });
    EXPECT_TRUE(rig.marks.size() == 1);

    rig.delegate->permissionGranted();
    EXPECT_TRUE(rig.env->detect->state().permissionGranted);
    EXPECT_EQ(rig.marks, (std::vector<std::string>{"launched", "ready"}));
    EXPECT_TRUE(rig.env->input->isRunning());
    EXPECT_EQ(rig.input->added(), 2u);

    // Trust lost and back while monitors are installed: they are put in again.
    rig.env->detect->write([](DetectState& state) { state.permissionGranted = false; });
    rig.delegate->permissionGranted();
    EXPECT_EQ(rig.input->removed(), 2u);
    EXPECT_EQ(rig.input->added(), 4u);
    EXPECT_EQ(rig.marks, (std::vector<std::string>{"launched", "ready", "ready"}));
}

TEST(AppDelegateTest, TrustedAtLaunchStartsInputWithoutTheWindow) {
    DelegateRig rig;
    rig.trusted = true;
    rig.delegate->launch(std::nullopt);
    EXPECT_EQ(rig.permissionShown, 0);
    EXPECT_TRUE(rig.env->input->isRunning());
    EXPECT_EQ(rig.delegate->statusMenu().permissionItem->title, "손쉬운 사용 권한: 허용됨");
}

TEST(AppDelegateTest, QuitWithNothingInFlightSwitchesDetectionOffAndEndsAtOnce) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.env->detect->write([](DetectState& state) { state.enabled = true; });
    rig.seen.clear();
    rig.env->shutdown->addTask("끝", [&] { rig.journal.push_back("task"); });
    EXPECT_EQ(rig.delegate->shouldTerminate(), AppDelegate::TerminateReply::now);
    ASSERT_EQ(rig.seen.size(), 1u);
    EXPECT_FALSE(rig.seen[0].first.enabled);
    EXPECT_TRUE(rig.seen[0].second.enabled);
    rig.delegate->willTerminate();
    rig.delegate->willTerminate();
    EXPECT_EQ(std::count(rig.journal.begin(), rig.journal.end(), "task"), 1);
    EXPECT_EQ(rig.log.count("app", "종료"), 2u);
}

TEST(AppDelegateTest, QuitWithWorkDrainsThenEnds) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.inFlight = 2;
    EXPECT_EQ(rig.delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    EXPECT_TRUE(rig.log.has("shutdown", "진행 중 작업 2 — 최대 12초 드레인"));
    rig.drain(1.0);
    EXPECT_TRUE(rig.replies.empty());
    rig.inFlight = 0;
    rig.drain(0.1);
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
    EXPECT_TRUE(rig.log.has("shutdown", "drained=true remaining=0"));
    EXPECT_TRUE(rig.prompts.empty());
}

TEST(AppDelegateTest, WorkThatStaysAsksAndCancelRestoresDetection) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.env->detect->write([](DetectState& state) { state.enabled = true; });
    rig.env->unsaved->add(UnsavedCounter::Kind::word);
    rig.inFlight = 3;
    EXPECT_EQ(rig.delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    EXPECT_FALSE(rig.env->detect->state().enabled);
    rig.drain(12.1);
    EXPECT_TRUE(rig.log.has("shutdown", "drained=false remaining=3"));
    ASSERT_EQ(rig.prompts, (std::vector<std::pair<int, int>>{{3, 1}}));

    // Waiting more drains again and asks again.
    rig.choose(ShutdownPrompt::Choice::waitMore);
    EXPECT_TRUE(rig.log.has("shutdown", "저장이 안 끝남 remaining=3 unsaved=1 choice=waitMore"));
    rig.drain(12.1);
    ASSERT_EQ(rig.prompts.size(), 2u);
    EXPECT_TRUE(rig.replies.empty());

    rig.seen.clear();
    rig.choose(ShutdownPrompt::Choice::cancel);
    EXPECT_EQ(rig.replies, std::vector<bool>{false});
    EXPECT_TRUE(rig.env->detect->state().enabled);
    ASSERT_EQ(rig.seen.size(), 1u);
    EXPECT_FALSE(rig.seen[0].second.enabled);
}

TEST(AppDelegateTest, QuitAnywayEndsWhateverRemains) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.inFlight = 1;
    rig.delegate->shouldTerminate();
    rig.drain(12.1);
    rig.choose(ShutdownPrompt::Choice::quitAnyway);
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
    EXPECT_FALSE(rig.env->detect->state().enabled);
}

TEST(AppDelegateTest, ASignalDuringTheQuestionClosesItDrainsAndEnds) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.env->detect->write([](DetectState& state) { state.enabled = true; });
    rig.inFlight = 2;
    rig.delegate->shouldTerminate();
    rig.drain(12.1);
    ASSERT_EQ(rig.prompts.size(), 1u);

    rig.delegate->endWithoutAsking();
    EXPECT_EQ(rig.promptsClosed, 1);
    EXPECT_TRUE(rig.log.has("shutdown", "종료 신호 — 묻지 않고 드레인한 뒤 끝낸다 (질문 닫음)"));
    // The closed question's answer is nobody's: the quit is not cancelled, detection stays off.
    rig.main->runAll();
    EXPECT_TRUE(rig.replies.empty());
    EXPECT_FALSE(rig.env->detect->state().enabled);
    EXPECT_EQ(rig.log.count("shutdown", "choice="), 0u);

    // The drain goes on, and what remains after it does not keep the program.
    rig.inFlight = 1;
    rig.drain(12.1);
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
    EXPECT_EQ(rig.prompts.size(), 1u);
    EXPECT_EQ(rig.log.count("shutdown", "drained=false remaining=1"), 1u);
}

TEST(AppDelegateTest, ASignalDuringTheDrainEndsWithoutAsking) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.inFlight = 1;
    rig.delegate->shouldTerminate();
    rig.delegate->endWithoutAsking();
    rig.delegate->endWithoutAsking();
    EXPECT_EQ(rig.log.count("shutdown", "종료 신호"), 1u);
    EXPECT_EQ(rig.promptsClosed, 0);
    rig.drain(12.1);
    EXPECT_TRUE(rig.prompts.empty());
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
}

TEST(AppDelegateTest, NothingLeftAtTheTimeOutEndsWithoutAsking) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    // Work that is still there at the last poll and gone when the time-out counts it.
    const double start = rig.clock->uptime();
    int lateReads = 0;
    rig.env->shutdown->addCounter([&] {
        if (rig.clock->uptime() - start < ShutdownDrain::defaultTimeout) {
            return 1;
        }
        return ++lateReads == 1 ? 1 : 0;
    });
    EXPECT_EQ(rig.delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    rig.drain(12.1);
    EXPECT_TRUE(rig.log.has("shutdown", "drained=false remaining=0")) << rig.log.all();
    EXPECT_TRUE(rig.prompts.empty());
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
}

TEST(AppDelegateTest, LinksWithoutAnAccountModuleAreLoggedNotLost) {
    DelegateRig rig;
    AppDelegate::Parts parts;
    parts.environment = [&] {
        return rig.env;
    };
    AppDelegate::Platform platform;
    platform.main = rig.main;
    platform.clock = rig.clock;
    platform.mark = [](const std::string&) {
    };
    auto delegate = AppDelegate::make(std::move(parts), std::move(platform));
    delegate->open({"parlendo://auth-callback#early"});
    delegate->launch(std::nullopt);
    delegate->open({"parlendo://auth-callback#late"});
    EXPECT_EQ(rig.log.count("app", "link 처리할 계정 모듈이 없어 버림 link=len="), 2u);
}

TEST(AppDelegateTest, ADrainOutlivingTheDelegateEnds) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.inFlight = 1;
    rig.delegate->shouldTerminate();
    rig.delegate.reset();
    rig.drain(12.1);
    EXPECT_EQ(rig.replies, std::vector<bool>{true});
}

TEST(AppDelegateTest, StatisticsAreLoggedEveryTenMinutes) {
    DelegateRig rig;
    rig.delegate->launch(std::nullopt);
    rig.clock->advance(ProcStats::interval - 1);
    EXPECT_EQ(rig.samples, 0);
    // A sample that cannot be read keeps the timer going.
    rig.clock->advance(ProcStats::interval + 2);
    EXPECT_EQ(rig.samples, 2);
    EXPECT_EQ(rig.clock->pendingTimers(), 1u);
}

}  // namespace
}  // namespace parlendo
