#include "capture/PermissionWatch.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(PermissionWatchTest, ReportsOnlyChanges) {
    PermissionWatch watch(true);
    EXPECT_EQ(watch.observe(true), std::nullopt);
    EXPECT_EQ(watch.observe(false), PermissionWatch::Change::lost);
    EXPECT_EQ(watch.observe(false), std::nullopt);
    EXPECT_EQ(watch.observe(true), PermissionWatch::Change::restored);
    EXPECT_TRUE(watch.trusted);
}

}  // namespace
}  // namespace parlendo
