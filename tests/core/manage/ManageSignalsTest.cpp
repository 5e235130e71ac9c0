#include <gtest/gtest.h>

#include "LogCapture.h"
#include "ManualExecutor.h"
#include "manage/ManageSignals.h"

namespace parlendo {
namespace {

TEST(ManageSignals, PostLogsAndDeliversOnTheMainExecutorByName) {
    testing::LogCapture logs;
    auto main = std::make_shared<testing::ManualExecutor>();
    NotificationCenter center(main);
    int popupCalls = 0;
    int sourceCalls = 0;
    auto popupToken =
        ManageSignals::observe(ManageSignals::popupSettingsChanged, center, [&] { ++popupCalls; });
    auto sourceToken =
        ManageSignals::observe(ManageSignals::sourcesChanged, center, [&] { ++sourceCalls; });
    std::optional<Json> info;
    auto raw = center.addObserver(ManageSignals::popupSettingsChanged, nullptr,
                                  [&](const Notification& n) { info = n.userInfo; });

    ManageSignals::post(ManageSignals::popupSettingsChanged, "seed", center);
    EXPECT_EQ(logs.messages("manage"),
              std::vector<std::string>{"알림 popup_settings_changed reason=seed"});
    EXPECT_EQ(info, (Json{{"reason", "seed"}}));  // no queue: on the posting thread
    EXPECT_EQ(popupCalls, 0);                     // the main executor has not run yet
    main->runAll();
    EXPECT_EQ(popupCalls, 1);
    EXPECT_EQ(sourceCalls, 0);

    // A dropped token stops delivery, also of a notification already queued.
    ManageSignals::post(ManageSignals::sourcesChanged, "rename", center);
    sourceToken.reset();
    main->runAll();
    EXPECT_EQ(sourceCalls, 0);
    EXPECT_TRUE(logs.contains("manage", "알림 sources_changed reason=rename"));
}

TEST(ManageSignals, ObserversNeverRunInsideThePosterEvenBeforeTheMainExecutorIsSet) {
    testing::LogCapture logs;
    NotificationCenter center;
    int calls = 0;
    auto token = ManageSignals::observe(ManageSignals::sourcesChanged, center, [&] { ++calls; });
    ManageSignals::post(ManageSignals::sourcesChanged, "rename_source", center);
    ManageSignals::post(ManageSignals::sourcesChanged, "move_folder", center);
    EXPECT_EQ(calls, 0);

    // The deliveries wait for the main executor and then run on it, in order of posting.
    auto main = std::make_shared<testing::ManualExecutor>();
    center.setMainExecutor(main);
    EXPECT_EQ(calls, 0);
    main->runAll();
    EXPECT_EQ(calls, 2);
    ManageSignals::post(ManageSignals::sourcesChanged, "delete_source", center);
    EXPECT_EQ(calls, 2);
    main->runAll();
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace parlendo
