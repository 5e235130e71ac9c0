#include "shell/AppEnvironment.h"
#include "shell/StartupTiming.h"

#include "FakeAuthTransport.h"
#include "FakeClock.h"
#include "FakeInputSource.h"
#include "FakeServerTransport.h"
#include "FakeSessionStore.h"
#include "LogCapture.h"
#include "ManualExecutor.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace parlendo {
namespace {

using namespace parlendo::testing;

TEST(AppEnvironmentTest, BuildsEveryServiceWithTheirStartingState) {
    LogCapture log;
    auto clock = std::make_shared<FakeClock>();
    auto main = std::make_shared<ManualExecutor>(clock);
    auto transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<ServerGate> gateSeen;
    std::shared_ptr<NetState> watched;

    AppEnvironment::Parts parts;
    parts.config.publicKey = "sb_publishable_key";
    parts.appVersion = "0.2.0+mac";
    parts.main = main;
    parts.background = main;
    parts.clock = clock;
    parts.systemTheme = [] {
        return ThemeMode::dark;
    };
    parts.inputSource = std::make_shared<FakeInputSource>();
    parts.authTransport = [&](std::shared_ptr<ServerGate> gate) {
        gateSeen = gate;
        return AppEnvironment::Parts::Auth{transport, nullptr};
    };
    parts.watchNetwork = [&](std::shared_ptr<NetState> net) {
        watched = net;
    };
    parts.serverTransport = std::make_shared<FakeServerTransport>();
    parts.sessionStore = std::make_shared<FakeSessionStore>();
    parts.popupsChanged = [](const std::string&) {
    };
    const auto env = AppEnvironment::build(std::move(parts));

    EXPECT_EQ(gateSeen, env->gate);
    EXPECT_EQ(watched, env->net);
    EXPECT_EQ(env->server, env->client);
    EXPECT_NE(env->titleClient, env->client);
    EXPECT_EQ(env->session, env->auth);
    EXPECT_EQ(env->appVersion, "0.2.0+mac");
    EXPECT_EQ(env->config.publicKey, "sb_publishable_key");
    ASSERT_TRUE(env->account && env->profiles && env->popupDefaults && env->accountScope &&
                env->unsaved && env->input && env->theme && env->manageScreen);
    EXPECT_EQ(env->theme->mode(), ThemeMode::dark);

    // Detection starts switched off, healthy, waiting for permission and sign-in.
    const DetectState& state = env->detect->state();
    EXPECT_FALSE(state.enabled);
    EXPECT_TRUE(state.healthy);
    EXPECT_FALSE(state.permissionGranted);
    EXPECT_FALSE(state.loggedIn);
    EXPECT_FALSE(env->input->isRunning());

    // The auth runtime's awaited operations are the first and only counter so far.
    EXPECT_EQ(env->shutdown->counterCount(), 1u);
    EXPECT_EQ(env->shutdown->inFlight(), 0);

    // Callbacks used before their owners set them do nothing.
    env->notice("x", 1);
    env->requestLogin();
    env->requestPermission();
    env->openManage();
}

TEST(StartupTimingTest, MarksAreLoggedOncePerNameWithBothFigures) {
    LogCapture log;
    auto clock = std::make_shared<FakeClock>();
    StartupTiming timing(clock, 0.25);
    clock->advance(0.012);
    EXPECT_TRUE(timing.note("launched"));
    EXPECT_FALSE(timing.note("launched", "again"));
    clock->advance(0.1);
    EXPECT_TRUE(timing.note("ready", "icon=registered"));
    EXPECT_EQ(log.messages("timing"),
              (std::vector<std::string>{"startup launched ms_exec=262 ms_main=12",
                                        "startup ready ms_exec=362 ms_main=112 icon=registered"}));

    StartupTiming unknown(clock, std::nullopt);
    EXPECT_EQ(unknown.line("launched", ""), "startup launched ms_exec=- ms_main=0");
}

TEST(StartupTimingTest, ProcessAgeComesFromProc) {
    const auto age = StartupTiming::processAge(::getpid());
    ASSERT_TRUE(age.has_value());
    EXPECT_GE(*age, 0.0);
    EXPECT_LT(*age, 3600.0);
    EXPECT_FALSE(StartupTiming::processAge(-1).has_value());
    EXPECT_TRUE(StartupTiming::processStartTicks(1).has_value());
}

}  // namespace
}  // namespace parlendo
