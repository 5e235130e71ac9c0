#include <gtest/gtest.h>

#include "popups/PopupLayout.h"

namespace parlendo {
namespace {

namespace L = PopupLayout;

const PopupRect screen{0, 0, 1440, 900};
// Usable frame: x 8 ... 1432, y 8 ... 892.

TEST(PopupLayoutTest, BaseBesideTheSelectionOrTheMouse) {
    PopupRect low{100, 179, 50, 20};
    EXPECT_EQ(L::base(PopupAnchor::selection(low), {0, 0}, screen), (L::Base{156, 199}));
    PopupRect high{100, 180, 50, 20};
    EXPECT_EQ(L::base(PopupAnchor::selection(high), {0, 0}, screen), (L::Base{100, 174}));
    // Measured from the screen's bottom edge, not from zero.
    PopupRect second{100, 1100, 50, 20};
    EXPECT_EQ(L::base(PopupAnchor::selection(second), {0, 0}, PopupRect{0, 1000, 800, 600}),
              (L::Base{156, 1120}));
    EXPECT_EQ(L::base(PopupAnchor::mouse(), {300, 400}, screen), (L::Base{316, 384}));
}

TEST(PopupLayoutTest, HeightLimit) {
    EXPECT_EQ(L::heightLimit(screen), 460);
    EXPECT_EQ(L::heightLimit(PopupRect{0, 0, 100, 70}), 60);
    EXPECT_EQ(L::heightLimit(PopupRect{0, 0, 100, 300}), 284);
}

TEST(PopupLayoutTest, StartStaysInsideTheUsableFrame) {
    EXPECT_EQ(L::place({320, 100, {-50, 500}}, {}, screen), (PopupRect{8, 400, 320, 100}));
    EXPECT_EQ(L::place({320, 100, {1300, 500}}, {}, screen), (PopupRect{1112, 400, 320, 100}));
    EXPECT_EQ(L::place({320, 100, {100, 2000}}, {}, screen), (PopupRect{100, 792, 320, 100}));
    EXPECT_EQ(L::place({320, 100, {100, 20}}, {}, screen), (PopupRect{100, 8, 320, 100}));
    // Wider than the frame: narrowed to it; on a frame of a point or less, one point wide.
    EXPECT_EQ(L::place({2000, 100, {0, 500}}, {}, screen).width, 1424);
    EXPECT_EQ(L::place({320, 100, {0, 50}}, {}, PopupRect{0, 0, 10, 100}).width, 1);
}

TEST(PopupLayoutTest, StacksDownwardsAndKeepsTheGap) {
    L::Item item{320, 100, {100, 700}};
    PopupRect first = L::place(item, {}, screen);
    PopupRect second = L::place(item, {first}, screen);
    EXPECT_EQ(second, (PopupRect{100, 490, 320, 100}));
    EXPECT_EQ(first.y - second.maxY(), 10);

    // Exactly 10 points apart: no collision. 9 apart: moved to the next column.
    PopupRect left{8, 8, 90, 884};
    EXPECT_EQ(L::place({320, 100, {108, 500}}, {left}, screen), (PopupRect{108, 400, 320, 100}));
    EXPECT_EQ(L::place({320, 100, {107, 500}}, {left}, screen), (PopupRect{108, 400, 320, 100}));
    PopupRect below{500, 290, 320, 100};  // top edge 390: 10 under a card at 400
    EXPECT_EQ(L::place({320, 100, {500, 500}}, {below}, screen).y, 400);
    PopupRect close{500, 291, 320, 100};  // 9 under: the card goes below it
    EXPECT_EQ(L::place({320, 100, {500, 500}}, {close}, screen).maxY(), 281);
}

TEST(PopupLayoutTest, OpensColumnsRightThenLeft) {
    // A card filling the start column from top to bottom.
    PopupRect column{100, 8, 320, 884};
    PopupRect next = L::place({320, 100, {100, 892}}, {column}, screen);
    EXPECT_EQ(next, (PopupRect{430, 792, 320, 100}));

    // No room on the right: the first left column ends 10 points left of the start column.
    PopupRect blocking{1000, 8, 420, 884};
    PopupRect left = L::place({320, 100, {1000, 892}}, {blocking}, screen);
    EXPECT_EQ(left, (PopupRect{670, 792, 320, 100}));
    // A further column ends 10 points left of the card blocking the previous one.
    PopupRect leftBlock{670, 8, 320, 884};
    EXPECT_EQ(L::place({320, 100, {1000, 892}}, {blocking, leftBlock}, screen),
              (PopupRect{340, 792, 320, 100}));
}

TEST(PopupLayoutTest, SecondPassFromTheTopThenOverlap) {
    // Below the start is full but the top of the frame has room.
    PopupRect under{100, 8, 1324, 500};
    PopupRect placed = L::place({320, 100, {100, 500}}, {under}, screen);
    EXPECT_EQ(placed, (PopupRect{100, 792, 320, 100}));

    // Everything is covered: the start frame, overlapping.
    PopupRect all{0, 0, 1440, 900};
    EXPECT_EQ(L::place({320, 100, {100, 500}}, {all}, screen), (PopupRect{100, 400, 320, 100}));
}

TEST(PopupLayoutTest, ScreenOfTheSelectionOrTheMouse) {
    std::vector<PopupRect> frames{{0, 0, 1440, 900}, {1440, 0, 1920, 1080}};
    auto onSecond = PopupAnchor::selection(PopupRect{1500, 500, 100, 20});
    EXPECT_EQ(L::referencePoint(onSecond, {10, 10}), std::make_pair(1550.0, 510.0));
    EXPECT_EQ(L::screenIndex(L::referencePoint(onSecond, {10, 10}), frames), 1u);
    EXPECT_EQ(L::screenIndex(L::referencePoint(PopupAnchor::mouse(), {10, 10}), frames), 0u);
    // Left and top edges belong to a frame, right and bottom edges do not.
    EXPECT_EQ(L::screenIndex({1440, 900}, frames), 1u);
    EXPECT_EQ(L::screenIndex({0, 900}, frames), 0u);
    EXPECT_EQ(L::screenIndex({0, 0}, frames), std::nullopt);
    EXPECT_EQ(L::screenIndex({-5, 100}, frames), std::nullopt);
}

}  // namespace
}  // namespace parlendo
