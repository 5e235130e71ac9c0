#include "shell/DeviceCare.h"

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

// Device care over a temporary home and state folder, with a desktop that records its alerts,
// quits, exits and helpers, and answers each alert with the next scripted answer.
struct CareRig {
    CareRig() {
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
        platform.deleteLoginToken = [this] {
            events.push_back("token");
            return tokenRemoved;
        };
        platform.wipeOptionalKey = [this] {
            events.push_back("key");
            return true;
        };
        platform.wipeData = [this](bool logsOnly, const std::filesystem::path& logs, bool owned) {
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
        login = std::make_shared<LoginItem>(dir.path() / "autostart/parlendo.desktop",
                                            install.programPath);
        care = DeviceCare::make(std::move(install), std::move(platform), login);
    }

    LogCapture log;
    TempDir dir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
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
              DeviceCare::downgradeAlert({"0.2.0", "20250401.01"}, {"0.2.0", "20250301.01"}));
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
    EXPECT_EQ(alerts, std::vector<DeviceCare::Alert>{DeviceCare::moveAlert()});
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_TRUE(
        log.has("install", "🔴 location=disk_image — 응용 프로그램 폴더로 옮기라고 알리고 종료"));
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
    EXPECT_EQ(rig.alerts, std::vector<DeviceCare::Alert>{DeviceCare::loginItemFailedAlert()});
}

TEST(DeviceCareTest, CancellingTheWipeChangesNothing) {
    CareRig rig;
    rig.answers = {Answer{0, true}};
    rig.care->wipeItem()->handler();
    EXPECT_EQ(rig.alerts, std::vector<DeviceCare::Alert>{DeviceCare::wipeQuestion()});
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
    EXPECT_EQ(rig.events, (std::vector<std::string>{"signOut", "token", "key", "wipeData"}));
    EXPECT_FALSE(rig.login->isEnabled());
    EXPECT_TRUE(rig.log.has("install", "wipe requested include_logs=false"));
    EXPECT_TRUE(rig.log.has("install", "wipe done keychain_token=true optional_key=true n=2"));
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1], DeviceCare::wipeDoneAlert({}));
    EXPECT_EQ(rig.terminations, 1);
    rig.clock->advance(1);
    EXPECT_TRUE(rig.exits.empty());
}

TEST(DeviceCareTest, WipingWithLogsRemovesThemLastAndExits) {
    CareRig rig;
    rig.answers = {Answer{1, true}};
    rig.care->wipeItem()->handler();
    EXPECT_EQ(rig.events, (std::vector<std::string>{"token", "key", "wipeData"}));
    rig.clock->advance(0.1);
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
    const std::vector<std::string> failed = {"app_state", "login_token"};
    EXPECT_EQ(DeviceCare::failures(rig.dataOutcomes, false, true), failed);
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1], DeviceCare::wipeDoneAlert(failed));
    EXPECT_NE(rig.alerts[1].informative.find("지우지 못한 것: app_state, login_token\n"),
              std::string::npos);
    EXPECT_EQ(rig.terminations, 1);
    rig.clock->advance(1);
    EXPECT_EQ(std::count(rig.events.begin(), rig.events.end(), "wipeLogs"), 0);
    EXPECT_TRUE(rig.exits.empty());
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
