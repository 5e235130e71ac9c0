#include "LogCapture.h"
#include "auth/AccountLocalData.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(AccountLocalData, EveryForgetterRunsAndTheAnswerIsTheirConjunction) {
    testing::LogCapture log;
    AccountLocalData registry;
    EXPECT_EQ(registry.forget("user-1"), std::nullopt);
    std::vector<std::string> order;
    registry.registerForgetter("first", [&](const std::string& user) {
        order.push_back("first:" + user);
        return false;
    });
    registry.registerForgetter("second", [&](const std::string& user) {
        order.push_back("second:" + user);
        return true;
    });
    EXPECT_EQ(registry.forget("user-1"), std::optional<bool>(false));
    EXPECT_EQ(order, (std::vector<std::string>{"first:user-1", "second:user-1"}));
    EXPECT_TRUE(log.has("account", "local_data forget name=first ok=false"));
    EXPECT_TRUE(log.has("account", "local_data forget name=second ok=true"));
}

}  // namespace
}  // namespace parlendo
