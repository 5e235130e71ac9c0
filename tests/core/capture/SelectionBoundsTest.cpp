#include "capture/SelectionBounds.h"

#include <gtest/gtest.h>

#include <limits>

namespace parlendo {
namespace {

TEST(SelectionBoundsTest, PlausibleRectanglesAndTheirUnion) {
    const std::vector<PopupRect> screens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    EXPECT_EQ(SelectionBounds::appKitRect(10, 20, 30, 40, 1080), (PopupRect{10, 1020, 30, 40}));
    EXPECT_TRUE(SelectionBounds::plausible({100, 100, 200, 20}, screens));
    // On the second screen only.
    EXPECT_TRUE(SelectionBounds::plausible({2000, 100, 200, 20}, screens));
    // Wholly off-screen, touching an edge only, too small, too tall, not a number, no screens.
    EXPECT_FALSE(SelectionBounds::plausible({4000, 100, 200, 20}, screens));
    EXPECT_FALSE(SelectionBounds::plausible({-200, 100, 200, 20}, screens));
    EXPECT_FALSE(SelectionBounds::plausible({100, 100, 0.5, 20}, screens));
    EXPECT_FALSE(SelectionBounds::plausible({100, 0, 200, 900}, screens));
    EXPECT_FALSE(
        SelectionBounds::plausible({std::numeric_limits<double>::quiet_NaN(), 0, 10, 10}, screens));
    EXPECT_FALSE(SelectionBounds::plausible({100, 100, 200, 20}, {}));

    EXPECT_EQ(SelectionBounds::unionOf({}), std::nullopt);
    EXPECT_EQ(SelectionBounds::unionOf({{10, 10, 10, 10}, {0, 30, 5, 5}}),
              (PopupRect{0, 10, 20, 25}));
}

}  // namespace
}  // namespace parlendo
