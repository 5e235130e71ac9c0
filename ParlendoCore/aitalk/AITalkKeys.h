#pragma once

#include <cstdint>

namespace parlendo {

// The keys and times of the AI talk trigger: Ctrl held, C pressed twice quickly.
namespace AITalkKeys {

// The physical C key (its X11 key code), whatever the keyboard layout puts on it.
inline constexpr std::uint16_t copyKeyCode = 54;
// Largest gap between the two C presses.
inline constexpr double doubleTapWindow = 0.5;
// How long the fetch waits for the clipboard to change, and the pause between two looks.
inline constexpr double copyWait = 0.4;
inline constexpr double copyPoll = 0.01;

}  // namespace AITalkKeys
}  // namespace parlendo
