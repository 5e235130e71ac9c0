#include <gtest/gtest.h>

#include "popups/PopupCountdown.h"

#include <clocale>

namespace parlendo {
namespace {

TEST(PopupCountdownTest, LoadingRunsOutPastTheLimitEvenWhilePaused) {
    PopupCountdown countdown(3.0, 1.0);
    EXPECT_FALSE(countdown.tick(0.5, true));
    EXPECT_FALSE(countdown.tick(0.5, true));  // exactly at the limit: not over
    EXPECT_TRUE(countdown.tick(0.5, false));
    EXPECT_EQ(countdown.remaining, 3.0);
}

TEST(PopupCountdownTest, FilledCountsDownExceptWhilePaused) {
    PopupCountdown countdown(3.0, 11.6);
    countdown.filled(5);
    EXPECT_EQ(countdown.total, 3.0);
    EXPECT_EQ(countdown.remaining, 5.0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(countdown.tick(1.0, true));
    }
    EXPECT_EQ(countdown.remaining, 5.0);
    EXPECT_FALSE(countdown.tick(4.0, false));
    EXPECT_TRUE(countdown.tick(1.0, false));  // exactly zero closes
    countdown.filled(2);                      // filling again restarts the count
    EXPECT_FALSE(countdown.tick(1.0, false));
}

TEST(PopupCountdownTest, FooterShowsSecondsWithAPoint) {
    PopupCountdown countdown(3.0, 1.0);
    countdown.filled(2.34);
    EXPECT_EQ(countdown.footer(false), "\u25B6 2.3s");
    countdown.remaining = 1.0;
    EXPECT_EQ(countdown.footer(true), "\u23F8 1.0s");
    countdown.remaining = -0.05;
    EXPECT_EQ(countdown.footer(false), "\u25B6 0.0s");
    countdown.remaining = -0.0;
    EXPECT_EQ(countdown.footer(false), "\u25B6 0.0s");

    // A locale with a decimal comma does not change the footer.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        countdown.remaining = 2.5;
        EXPECT_EQ(countdown.footer(false), "\u25B6 2.5s");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(PopupCountdownTest, TickClockMeasuresMonotonicTime) {
    PopupTickClock clock;
    EXPECT_EQ(clock.elapsed(100.0), 0.0);  // the first tick counts nothing
    EXPECT_DOUBLE_EQ(clock.elapsed(100.25), 0.25);
    EXPECT_EQ(clock.elapsed(99.0), 0.0);  // never negative
    clock.reset();
    EXPECT_EQ(clock.elapsed(500.0), 0.0);
    EXPECT_NEAR(clock.elapsed(500.1), 0.1, 1e-9);
}

}  // namespace
}  // namespace parlendo
