#include "capture/SyntheticKeyTrail.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(SyntheticKeyTrailTest, ClaimsEachPostedStepOnceWithinTheWindow) {
    SyntheticKeyTrail trail;
    trail.posted({{37, true}, {54, true}, {54, false}, {37, false}}, 10.0);
    // Another client's press of the same device in between is not the application's.
    EXPECT_FALSE(trail.claim(64, true, 10.01));
    EXPECT_TRUE(trail.claim(37, true, 10.01));
    EXPECT_TRUE(trail.claim(54, true, 10.01));
    EXPECT_FALSE(trail.claim(54, true, 10.02));
    EXPECT_TRUE(trail.claim(54, false, 10.02));
    EXPECT_EQ(trail.outstanding(), 1u);
    // Too late: the step has expired.
    EXPECT_FALSE(trail.claim(37, false, 12.5));
    EXPECT_EQ(trail.outstanding(), 0u);
}

}  // namespace
}  // namespace parlendo
