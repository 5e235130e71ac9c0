#include "shell/DeviceCare.h"
#include "shell/InstallRecord.h"

#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using namespace parlendo::testing;
using Answer = DeviceCare::Answer;

constexpr const char* currentInfo =
    R"({"CFBundleShortVersionString":"0.2.0","CFBundleVersion":"20250301.01"})";

// The alerts as the user reads them, written out here so that a changed text is caught.
DeviceCare::Alert alert(std::string message, std::string informative,
                        std::vector<std::string> buttons = {}, bool warning = false) {
    return DeviceCare::Alert{std::move(message), std::move(informative),
                             std::move(buttons), warning,
                             std::nullopt,       false};
}

const DeviceCare::Alert moveAlert =
    alert("PARLENDO 를 이 컴퓨터로 옮겨 주세요",
          "지금은 이동식 저장 장치에서 바로 열렸어요. 장치를 빼면 PARLENDO 도 멈추고, 자동 시작도 "
          "쓸 수 없어요.\n\nPARLENDO 패키지를 설치하거나 AppImage 파일을 홈 폴더로 옮긴 뒤, "
          "거기서 PARLENDO 를 열어 주세요.",
          {"종료"});

const DeviceCare::Alert loginItemFailedAlert =
    alert("자동 시작을 바꾸지 못했어요",
          "시스템 설정 → 일반 → 로그인 항목에서 PARLENDO 를 직접 켜거나 끌 수 있어요.");

const DeviceCare::Alert wipeQuestion = [] {
    auto out =
        alert("이 Mac의 PARLENDO 데이터를 지울까요?",
              "이 Mac에 저장된 로그인 정보, 앱 상태(프로젝트 PDF 위치·문서 쪽 글 사본·설정), "
              "관리 창의 저장소를 지우고 앱을 종료합니다.\n\n서버에 저장된 단어·문서와 "
              "계정은 그대로예요. 다시 로그인하면 그대로 보입니다.\n앱을 완전히 없애려면, "
              "이 뒤에 설치한 PARLENDO 패키지를 제거하거나 AppImage 파일을 지우세요.",
              {"취소", "지우고 종료"}, true);
    out.checkbox = "진단 로그도 지우기";
    out.checkboxOn = true;
    return out;
}();

const DeviceCare::Alert wipeDoneAlert =
    alert("이 Mac의 데이터를 지웠어요",
          "PARLENDO 를 종료합니다. 앱을 없애려면 설치한 PARLENDO 패키지를 제거하거나 AppImage "
          "파일을 지우세요.\n접근성(보조 기술) 지원이 다른 프로그램에 필요 없다면 설정 → "
          "접근성에서 끌 수 있어요.");

// Device care over a temporary home and state folder, with a desktop that records its alerts,
// quits, exits and helpers, and answers each alert with the next scripted answer.
struct CareRig {
    // With a keychain queue, the wipe removes the login and the key from the program's keychain
    // on that queue.
    explicit CareRig(ExecutorPtr keychain = nullptr) {
        dir.write("share/build_info.json", currentInfo);
        DeviceCare::Install install;
        install.running = {"0.2.0", "20250301.01"};
        install.buildInfoFile = dir.path() / "share/build_info.json";
        install.programPath = "/usr/bin/parlendo";
        install.home = (dir.path() / "home").string();
        install.stateRoot = dir.path() / "state";
        install.pid = 4242;
        install.arch = "x86_64";

        DeviceCare::Platform platform;
        platform.alert = [this](DeviceCare::Alert alert, Completion<void(Answer)> done) {
            alerts.push_back(alert);
            Answer answer;
            if (!answers.empty()) {
                answer = answers.front();
                answers.erase(answers.begin());
            }
            done(answer);
        };
        platform.terminate = [this](Completion<void(bool)> done) {
            ++terminations;
            done(quitEnds);
        };
        platform.exitNow = [this](int status) {
            exits.push_back(status);
        };
        platform.spawn = [this](const RelaunchHelper::Command& command, std::string& error) {
            spawned.push_back(command);
            if (spawnFails) {
                error = "ENOENT";
                return std::optional<pid_t>();
            }
            return std::optional<pid_t>(99);
        };
        platform.showNoticeIfNeeded = [this](StartupWindows::Answered answered) {
            events.push_back("noticeIfNeeded");
            noticeAnswered = std::move(answered);
        };
        platform.showNotice = [this] {
            events.push_back("notice");
        };
        platform.deleteLoginToken = [this](Completion<void(bool)> done) {
            events.push_back("token");
            done(tokenRemoved);
        };
        platform.wipeOptionalKey = [this](Completion<void(bool)> done) {
            events.push_back("key");
            done(true);
        };
        if (keychain) {
            DeviceCare::removeFromKeychain(platform, KeychainCall{keychain, main});
        }
        platform.wipeData = [this](bool logsOnly, const std::filesystem::path& logs, bool owned) {
            // Removing folders holds a busy disk for long: never on the main loop.
            EXPECT_TRUE(files->runningTask()) << "removed on the main loop";
            events.push_back(logsOnly ? "wipeLogs" : "wipeData");
            EXPECT_EQ(logs, dir.path() / "logs");
            EXPECT_TRUE(owned);
            return logsOnly ? std::vector<DeviceCare::WipeOutcome>{{"logs", true, true}}
                            : dataOutcomes;
        };
        platform.summary = [](const std::vector<DeviceCare::WipeOutcome>& outcomes) {
            return "n=" + std::to_string(outcomes.size());
        };
        platform.logDirectory = [this] {
            return dir.path() / "logs";
        };
        platform.logAppOwned = [] {
            return true;
        };
        platform.main = main;
        platform.clock = clock;
        platform.files = files;
        login = std::make_shared<LoginItem>(dir.path() / "autostart/parlendo.desktop",
                                            install.programPath);
        care = DeviceCare::make(std::move(install), std::move(platform), login);
    }

    // Runs what the main loop and the files executor were handed, until both are idle.
    void settle() {
        while (main->runAll() + files->runAll() > 0) {
        }
    }

    LogCapture log;
    TempDir dir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> files = std::make_shared<ManualExecutor>(clock);
    std::vector<DeviceCare::Alert> alerts;
    std::vector<Answer> answers;
    std::vector<std::string> events;
    StartupWindows::Answered noticeAnswered;
    std::vector<int> exits;
    std::vector<RelaunchHelper::Command> spawned;
    std::vector<DeviceCare::WipeOutcome> dataOutcomes = {{"app_state", true, true},
                                                         {"caches", false, true}};
    int terminations = 0;
    bool quitEnds = true;
    bool spawnFails = false;
    bool tokenRemoved = true;
    std::shared_ptr<LoginItem> login;
    std::shared_ptr<DeviceCare> care;
};

TEST(DeviceCareTest, StartRecordsTheBuildAndThenShowsTheNotice) {
    CareRig rig;
    rig.care->start();
    EXPECT_TRUE(rig.log.has("install",
                            "build=0.2.0 (20250301.01) change=first_run arch=x86_64 "
                            "location=applications"));
    EXPECT_EQ(rig.events, std::vector<std::string>{"noticeIfNeeded"});
    EXPECT_TRUE(rig.alerts.empty());
    // The record is written off the main loop, which a busy disk would hold.
    const InstallRecord record(rig.dir.path() / "state");
    EXPECT_FALSE(std::filesystem::exists(record.file())) << "written on the main loop";
    EXPECT_EQ(rig.files->runAll(), 1u);
    EXPECT_EQ(record.last(), (BuildStamp{"0.2.0", "20250301.01"}));
}

TEST(DeviceCareTest, ALowerBuildWarnsBeforeTheNoticeAndHoldsTheLaunchUntilAnswered) {
    CareRig rig;
    auto startup = std::make_shared<StartupWindows>();
    rig.care.reset();
    DeviceCare::Platform platform;
    std::optional<Completion<void(Answer)>> pending;
    platform.alert = [&](DeviceCare::Alert alert, Completion<void(Answer)> done) {
        rig.alerts.push_back(alert);
        pending = std::move(done);
    };
    platform.showNoticeIfNeeded = [&](StartupWindows::Answered) {
        rig.events.push_back("noticeIfNeeded");
    };
    platform.startup = startup;
    platform.main = rig.main;
    platform.clock = rig.clock;
    DeviceCare::Install install;
    install.running = {"0.2.0", "20250301.01"};
    install.programPath = "/usr/bin/parlendo";
    install.home = (rig.dir.path() / "home").string();
    install.stateRoot = rig.dir.path() / "state";
    rig.dir.write("state/install_record.json", R"({"build":"20250401.01","version":"0.2.0"})");
    auto care = DeviceCare::make(install, std::move(platform), rig.login);
    care->start();
    bool launchWentOn = false;
    startup->afterHolds([&] { launchWentOn = true; });
    EXPECT_TRUE(rig.log.has("install",
                            "🔴 낮은 빌드로 덮였다 from=0.2.0 (20250401.01) to=0.2.0 "
                            "(20250301.01)"));
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0],
              alert("이전 버전의 PARLENDO 예요",
                    "이 Mac에서는 더 새 버전(0.2.0 (20250401.01))을 쓰고 있었는데, 지금 열린 "
                    "것은 0.2.0 (20250301.01) 이에요.\n일부 기능이 예전처럼 동작할 수 있어요. "
                    "가장 최근에 받은 설치 파일로 다시 설치해 주세요.",
                    {}, true));
    // Nothing else opens, and the launch waits, until the alert is answered.
    EXPECT_TRUE(rig.events.empty());
    EXPECT_FALSE(launchWentOn);
    EXPECT_EQ(startup->waiting(), std::vector<std::string>{"notice"});
    ASSERT_TRUE(pending);
    (*pending)(Answer{});
    EXPECT_TRUE(launchWentOn);
    EXPECT_EQ(rig.events, std::vector<std::string>{"noticeIfNeeded"});
    EXPECT_EQ(startup->open(), "notice");
}

TEST(DeviceCareTest, RunningFromMountedMediaAsksForAMoveAndExits) {
    LogCapture log;
    TempDir dir;
    auto clock = std::make_shared<FakeClock>();
    std::vector<int> exits;
    std::vector<DeviceCare::Alert> alerts;
    DeviceCare::Install install;
    install.programPath = "/media/mina/USB/Parlendo.AppImage";
    install.home = "/home/mina";
    install.stateRoot = dir.path();
    DeviceCare::Platform platform;
    platform.alert = [&](DeviceCare::Alert alert, Completion<void(Answer)> done) {
        alerts.push_back(alert);
        done(Answer{});
    };
    platform.exitNow = [&](int status) {
        exits.push_back(status);
    };
    platform.main = std::make_shared<ManualExecutor>(clock);
    platform.clock = clock;
    auto care = DeviceCare::make(install, platform, std::make_shared<LoginItem>(dir.path(), ""));
    care->start();
    EXPECT_EQ(alerts, std::vector<DeviceCare::Alert>{moveAlert});
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_TRUE(log.has("install", "🔴 location=disk_image — 이 컴퓨터로 옮기라고 알리고 종료"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "install_record.json"));
}

TEST(DeviceCareTest, AReplacedInstallOffersARestartCheckedAtMostEveryFiveSeconds) {
    CareRig rig;
    rig.care->refreshMenu();
    EXPECT_TRUE(rig.care->restartItem()->hidden);
    rig.dir.write("share/build_info.json",
                  R"({"CFBundleShortVersionString":"0.2.1","CFBundleVersion":"20250302.01"})");
    rig.clock->advance(4.0);
    rig.care->refreshMenu();
    EXPECT_TRUE(rig.care->restartItem()->hidden);
    rig.clock->advance(1.5);
    rig.care->refreshMenu();
    EXPECT_FALSE(rig.care->restartItem()->hidden);
    rig.clock->advance(6);
    rig.care->refreshMenu();
    EXPECT_EQ(rig.log.count("install",
                            "실행 중에 번들이 바뀜 running=0.2.0 (20250301.01) "
                            "on_disk=0.2.1 (20250302.01)"),
              1u);

    // A build-info file that went missing is reported once and hides the item.
    std::filesystem::remove(rig.dir.path() / "share/build_info.json");
    for (int i = 0; i < 3; ++i) {
        rig.clock->advance(6);
        rig.care->refreshMenu();
    }
    EXPECT_TRUE(rig.care->restartItem()->hidden);
    EXPECT_EQ(rig.log.count("install", "빌드 정보 파일을 읽지 못함"), 1u);
}

TEST(DeviceCareTest, RestartQuitsThenStartsOneHelperAndACancelLeavesNone) {
    CareRig rig;
    rig.quitEnds = false;
    rig.care->restartItem()->handler();
    EXPECT_EQ(rig.terminations, 1);
    EXPECT_FALSE(rig.care->relaunchRequested());
    EXPECT_TRUE(rig.log.has("install", "relaunch cancelled"));
    rig.care->launchRelaunchHelperIfRequested();
    EXPECT_TRUE(rig.spawned.empty());

    rig.quitEnds = true;
    rig.care->restartItem()->handler();
    rig.care->restartItem()->handler();
    EXPECT_EQ(rig.terminations, 2);
    EXPECT_TRUE(rig.care->relaunchRequested());
    rig.care->launchRelaunchHelperIfRequested();
    ASSERT_EQ(rig.spawned.size(), 1u);
    EXPECT_EQ(rig.spawned[0],
              RelaunchHelper::command(4242, "/usr/bin/parlendo", RelaunchHelper::defaultOpener));
    EXPECT_TRUE(rig.log.has("install", "relaunch helper started old_pid=4242"));

    rig.spawnFails = true;
    rig.care->launchRelaunchHelperIfRequested();
    EXPECT_TRUE(rig.log.has("install", "relaunch helper failed ENOENT"));
}

TEST(DeviceCareTest, TheLoginItemTogglesAndAFailureIsExplained) {
    CareRig rig;
    rig.care->refreshMenu();
    EXPECT_EQ(rig.care->loginItem()->checked, false);
    rig.care->loginItem()->handler();
    EXPECT_EQ(rig.care->loginItem()->checked, true);
    EXPECT_TRUE(rig.log.has("install", "login_item on status=1"));
    rig.care->loginItem()->handler();
    EXPECT_EQ(rig.care->loginItem()->checked, false);
    EXPECT_TRUE(rig.log.has("install", "login_item off status=0"));
    EXPECT_TRUE(rig.alerts.empty());

    // A folder in the way of the entry file.
    std::filesystem::create_directories(rig.dir.path() / "autostart/parlendo.desktop/x");
    rig.care->loginItem()->handler();
    EXPECT_EQ(rig.log.count("install", "login_item on failed "), 1u);
    EXPECT_EQ(rig.alerts, std::vector<DeviceCare::Alert>{loginItemFailedAlert});
}

TEST(DeviceCareTest, CancellingTheWipeChangesNothing) {
    CareRig rig;
    rig.answers = {Answer{0, true}};
    rig.care->wipeItem()->handler();
    EXPECT_EQ(rig.alerts, std::vector<DeviceCare::Alert>{wipeQuestion});
    EXPECT_TRUE(rig.events.empty());
    EXPECT_TRUE(rig.log.messages("install").empty());
}

TEST(DeviceCareTest, WipingWithoutLogsSignsOutWipesAndQuitsNormally) {
    CareRig rig;
    ASSERT_FALSE(rig.login->registerItem());
    rig.care->signOutForWipe = [&](Completion<void()> done) {
        rig.events.push_back("signOut");
        done();
    };
    rig.answers = {Answer{1, false}};
    rig.care->wipeItem()->handler();
    EXPECT_EQ(rig.events, (std::vector<std::string>{"signOut", "token", "key"}));
    // The folders go off the main loop; the user is told once they are gone.
    EXPECT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.files->runAll(), 1u);
    EXPECT_EQ(rig.events.back(), "wipeData");
    EXPECT_EQ(rig.alerts.size(), 1u);
    rig.settle();
    EXPECT_FALSE(rig.login->isEnabled());
    EXPECT_TRUE(rig.log.has("install", "wipe requested include_logs=false"));
    EXPECT_TRUE(rig.log.has("install", "wipe done keychain_token=true optional_key=true n=2"));
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1], wipeDoneAlert);
    EXPECT_EQ(rig.terminations, 1);
    rig.clock->advance(1);
    EXPECT_TRUE(rig.exits.empty());
}

TEST(DeviceCareTest, WipingWithLogsRemovesThemLastAndExits) {
    CareRig rig;
    rig.answers = {Answer{1, true}};
    rig.care->wipeItem()->handler();
    rig.settle();
    EXPECT_EQ(rig.events, (std::vector<std::string>{"token", "key", "wipeData"}));
    rig.clock->advance(0.1);
    rig.settle();
    EXPECT_TRUE(rig.exits.empty());
    rig.clock->advance(0.15);
    EXPECT_EQ(rig.events.back(), "wipeLogs");
    EXPECT_EQ(rig.exits, std::vector<int>{0});
    EXPECT_EQ(rig.terminations, 0);
}

TEST(DeviceCareTest, APartialWipeNamesWhatRemainedAndKeepsTheLogs) {
    CareRig rig;
    rig.tokenRemoved = false;
    rig.dataOutcomes = {{"app_state", true, false}, {"caches", false, true}};
    rig.answers = {Answer{1, true}};
    rig.care->wipeItem()->handler();
    rig.settle();
    const std::vector<std::string> failed = {"app_state", "login_token"};
    EXPECT_EQ(DeviceCare::failures(rig.dataOutcomes, false, true), failed);
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1], alert("일부를 지우지 못했어요",
                                   "지우지 못한 것: app_state, login_token\nPARLENDO 를 "
                                   "종료합니다. 다시 열어 한 번 더 시도해 주세요.",
                                   {}, true));
    EXPECT_EQ(rig.terminations, 1);
    rig.clock->advance(1);
    rig.settle();
    EXPECT_EQ(std::count(rig.events.begin(), rig.events.end(), "wipeLogs"), 0);
    EXPECT_TRUE(rig.exits.empty());
}

// A keychain that does not answer holds neither the main thread nor the wipe: both removals are
// asked at once on the keychain queue, and at their deadline the wipe goes on and names them.
TEST(DeviceCareTest, AKeychainThatDoesNotAnswerIsNamedAfterItsDeadline) {
    auto clock = std::make_shared<FakeClock>();
    auto keychain = std::make_shared<ManualExecutor>(clock);  // never runs: the keyring is silent
    CareRig rig(keychain);
    rig.answers = {Answer{1, true}};
    rig.care->wipeItem()->handler();
    EXPECT_EQ(keychain->pending(), 2u);
    EXPECT_EQ(rig.alerts.size(), 1u);
    rig.clock->advance(KeychainCall::defaultDeadline - 0.1);
    EXPECT_EQ(rig.alerts.size(), 1u);
    rig.clock->advance(0.1);
    rig.settle();
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1].message, "일부를 지우지 못했어요");
    EXPECT_TRUE(
        rig.alerts[1].informative.starts_with("지우지 못한 것: login_token, optional_key\n"))
        << rig.alerts[1].informative;
    EXPECT_TRUE(rig.log.has("install", "wipe done keychain_token=false optional_key=false n=2"));
    EXPECT_EQ(rig.terminations, 1);
}

TEST(DeviceCareTest, WithoutAWayToWipeThereIsNoWipeItem) {
    TempDir dir;
    auto clock = std::make_shared<FakeClock>();
    DeviceCare::Platform platform;
    platform.main = std::make_shared<ManualExecutor>(clock);
    platform.clock = clock;
    auto care = DeviceCare::make({}, platform, std::make_shared<LoginItem>(dir.path(), ""));
    const MenuItems items = care->menu();
    EXPECT_EQ(items.device, (std::vector<MenuItemPtr>{care->restartItem(), care->loginItem(),
                                                      care->noticeItem()}));
    EXPECT_TRUE(items.cleanup.empty());
}

}  // namespace
}  // namespace parlendo
