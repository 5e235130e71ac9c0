#include "capture/ContextReader.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(ContextReaderTest, ReadBudgetExpiresAtItsLimit) {
    double now = 50.0;
    ReadBudget budget(ContextReadTimes::total, [&now] { return now; });
    EXPECT_EQ(budget.started, 50.0);
    now = 50.25;
    EXPECT_FALSE(budget.expired());
    now = 50.5;
    EXPECT_TRUE(budget.expired());

    // A budget may start before it is made (the bounds search shares its start).
    ReadBudget shared(ContextReadTimes::selectionBounds, 50.4, [&now] { return now; });
    EXPECT_NEAR(shared.elapsed(), 0.1, 1e-9);
    EXPECT_FALSE(shared.expired());
    now = 50.52;
    EXPECT_TRUE(shared.expired());

    // The default clock is the system's uptime.
    ReadBudget real(10.0);
    EXPECT_FALSE(real.expired());
}

}  // namespace
}  // namespace parlendo
