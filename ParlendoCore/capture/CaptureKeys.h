#pragma once

#include "capture/ChordDetector.h"

#include <cstdint>
#include <set>

namespace parlendo {

// The fixed keys and times of the capture road.
namespace CaptureKeys {

// The lookup chord: Option and Command (Alt and Control on this desktop) held together, released
// within 0.8 seconds of reaching the chord.
inline const std::set<ChordDetector::Modifier> lookupModifiers{ChordDetector::Modifier::option,
                                                               ChordDetector::Modifier::command};
inline constexpr double lookupMaxHold = 0.8;

// Time-out of each call of the direct accessibility read of the selection, and the budget of the
// whole read once the focused element is known (a context read's): a page whose embedded elements
// are followed one by one cannot hold the fetch queue longer.
inline constexpr double directReadTimeout = 0.5;
inline constexpr double directReadBudget = 0.4;
// The key code of C in the synthetic copy (Control+C): the X11 key code of the C key.
inline constexpr std::uint16_t copyKeyCode = 54;
// Longest wait for the clipboard to change after the synthetic copy, and the pause between two
// looks at it.
inline constexpr double copyWait = 0.4;
inline constexpr double copyPoll = 0.005;
// Delay of the second look after a copy that did not arrive in time.
inline constexpr double lateCopyCheck = 1.0;
// The source user data stamped on the application's own synthetic events: "PRLS", most
// significant byte first.
inline constexpr std::int64_t syntheticEventTag = (std::int64_t{'P'} << 24) |
                                                  (std::int64_t{'R'} << 16) |
                                                  (std::int64_t{'L'} << 8) | std::int64_t{'S'};

}  // namespace CaptureKeys
}  // namespace parlendo
