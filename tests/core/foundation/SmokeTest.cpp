#include <gtest/gtest.h>

#include "foundation/Json.h"

TEST(Smoke, Builds) {
    EXPECT_TRUE(parlendo::json::parse("{}").has_value());
}
