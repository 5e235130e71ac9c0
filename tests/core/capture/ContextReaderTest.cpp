#include "capture/ContextReader.h"

#include <gtest/gtest.h>

#include "FakeClock.h"

namespace parlendo {
namespace {

TEST(ContextReaderTest, ReadBudgetExpiresAtItsLimit) {
    auto clock = std::make_shared<testing::FakeClock>(0.0, 50.0);
    ReadBudget budget(ContextReadTimes::total, clock);
    EXPECT_EQ(budget.started, 50.0);
    clock->advance(0.25);
    EXPECT_FALSE(budget.expired());
    clock->advance(0.25);
    EXPECT_TRUE(budget.expired());

    // A budget may start before it is made (the bounds search shares its start).
    ReadBudget shared(ContextReadTimes::selectionBounds, 50.4, clock);
    EXPECT_NEAR(shared.elapsed(), 0.1, 1e-9);
    EXPECT_FALSE(shared.expired());
    clock->advance(0.02);
    EXPECT_TRUE(shared.expired());

    // The default clock is the system's uptime.
    ReadBudget real(10.0);
    EXPECT_FALSE(real.expired());
}

}  // namespace
}  // namespace parlendo
