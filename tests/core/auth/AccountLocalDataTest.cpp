#include "LogCapture.h"
#include "ManualExecutor.h"
#include "auth/AccountLocalData.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Forgotten = std::optional<std::optional<bool>>;

TEST(AccountLocalData, EveryForgetterRunsAndTheAnswerIsTheirConjunction) {
    testing::LogCapture log;
    AccountLocalData registry;
    Forgotten none;
    registry.forget("user-1", nullptr, [&](std::optional<bool> all) { none = all; });
    EXPECT_EQ(none, Forgotten(std::in_place, std::nullopt));
    std::vector<std::string> order;
    registry.registerForgetter("first", [&](const std::string& user) {
        order.push_back("first:" + user);
        return false;
    });
    registry.registerForgetter("second", [&](const std::string& user) {
        order.push_back("second:" + user);
        return true;
    });
    Forgotten all;
    registry.forget("user-1", nullptr, [&](std::optional<bool> answer) { all = answer; });
    EXPECT_EQ(all, Forgotten(false));
    EXPECT_EQ(order, (std::vector<std::string>{"first:user-1", "second:user-1"}));
    EXPECT_TRUE(log.has("account", "local_data forget name=first ok=false"));
    EXPECT_TRUE(log.has("account", "local_data forget name=second ok=true"));
}

// The forgetters run one at a time in registration order, each on its own executor, else on the
// files executor; an executor that is gone (the registry does not keep it) holds nothing back.
TEST(AccountLocalData, AForgetterRunsOnItsOwnExecutorInItsTurn) {
    testing::LogCapture log;
    auto files = std::make_shared<testing::ManualExecutor>();
    auto writer = std::make_shared<testing::ManualExecutor>();
    AccountLocalData registry;
    std::vector<std::string> order;
    const auto forgetter = [&order](std::string name) {
        return [&order, name](const std::string&) {
            order.push_back(name);
            return true;
        };
    };
    registry.registerForgetter("settings", forgetter("settings"), writer);
    registry.registerForgetter("copies", forgetter("copies"));
    Forgotten all;
    registry.forget("user-1", files, [&](std::optional<bool> answer) { all = answer; });
    EXPECT_EQ(files->runAll(), 0u) << "the copies went before the settings";
    EXPECT_EQ(writer->runAll(), 1u);
    EXPECT_EQ(files->runAll(), 1u);
    EXPECT_EQ(all, Forgotten(true));

    writer.reset();
    registry.forget("user-1", files, [&](std::optional<bool> answer) { all = answer; });
    EXPECT_EQ(files->runAll(), 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"settings", "copies", "settings", "copies"}));
}

}  // namespace
}  // namespace parlendo
