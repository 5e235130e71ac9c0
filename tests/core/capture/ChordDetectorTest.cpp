#include "capture/ChordDetector.h"

#include "capture/CaptureKeys.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using M = ChordDetector::Modifier;
using R = ChordDetector::Reject;

ChordDetector chord() {
    return ChordDetector(CaptureKeys::lookupModifiers, 0.8);
}

ChordDetector::Outcome triggered(double held) {
    return ChordDetector::Triggered{held};
}
ChordDetector::Outcome rejected(R reason) {
    return ChordDetector::Rejected{reason};
}
const ChordDetector::Outcome none = ChordDetector::None{};

TEST(ChordDetectorTest, FiresOnFullReleaseWithinMaxHold) {
    auto d = chord();
    EXPECT_EQ(d.modifiers({M::option}, 10.0), none);
    EXPECT_EQ(d.modifiers({M::option, M::command}, 10.1), none);
    EXPECT_EQ(d.modifiers({M::option}, 10.3), none);  // Command released first still counts
    const auto outcome = d.modifiers({}, 10.5);
    ASSERT_TRUE(std::holds_alternative<ChordDetector::Triggered>(outcome));
    EXPECT_NEAR(std::get<ChordDetector::Triggered>(outcome).held, 0.4, 1e-9);
    EXPECT_FALSE(d.held());
    EXPECT_FALSE(d.reachedAt());

    // Pressing order does not matter; exactly the limit still fires, past it does not.
    d.modifiers({M::command}, 0.5);
    d.modifiers({M::command, M::option}, 1.0);
    EXPECT_EQ(d.modifiers({}, 1.8), triggered(0.8));
    d.modifiers({M::command, M::option}, 30.0);
    EXPECT_EQ(d.modifiers({}, 30.81), rejected(R::tooSlow));
}

TEST(ChordDetectorTest, RecordsTheFirstCancelReasonOfAPress) {
    auto d = chord();
    d.modifiers({M::option, M::shift}, 1.0);
    d.modifiers({M::option}, 1.1);
    d.modifiers({M::option, M::command}, 1.2);
    EXPECT_EQ(d.modifiers({}, 1.3), rejected(R::otherModifier));

    d.modifiers({M::option}, 2.0);
    d.key();
    d.modifiers({M::option, M::command}, 2.1);
    d.click();
    EXPECT_EQ(d.modifiers({}, 2.2), rejected(R::keyBetween));

    d.modifiers({M::option, M::command}, 3.0);
    d.click();
    EXPECT_EQ(d.modifiers({}, 3.1), rejected(R::clickBetween));

    // A clean press after a rejected one fires again.
    d.modifiers({M::option, M::command}, 4.0);
    EXPECT_EQ(d.modifiers({}, 4.1), triggered(4.1 - 4.0));
}

TEST(ChordDetectorTest, IncompleteChordEndsSilently) {
    auto d = chord();
    d.key();  // nothing held: ignored
    EXPECT_FALSE(d.cancel());
    d.modifiers({M::option}, 1.0);
    d.key();
    EXPECT_EQ(d.modifiers({}, 1.1), none);
    EXPECT_FALSE(d.cancel());
    EXPECT_FALSE(d.held());
}

TEST(ChordDetectorTest, RejectNamesRoundTrip) {
    for (auto r : {R::otherModifier, R::keyBetween, R::clickBetween, R::tooSlow}) {
        EXPECT_EQ(rejectFromString(toString(r)), r);
    }
    EXPECT_EQ(toString(R::tooSlow), "too_slow");
    EXPECT_FALSE(rejectFromString("Too_Slow"));
}

}  // namespace
}  // namespace parlendo
