#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace parlendo {

// The device-independent modifier bits of `InputEvent::modifierFlags`. On this desktop Option
// is Alt (left or right, never AltGr), Command is Control, Control is the Super key and Shift is
// Shift: the input adapter fills the bits so, and the capture keys read them through these masks.
namespace ModifierFlags {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
// The four masks together.
inline constexpr std::uint64_t deviceIndependent = shift | control | option | command;
}  // namespace ModifierFlags

// One keyboard or mouse event of the user's session, as the input hub hands it out.
struct InputEvent {
    enum class Kind { flagsChanged, keyDown, keyUp, mouseDown, scrollWheel };

    Kind kind = Kind::keyDown;
    // All modifier flags of the event, unfiltered.
    std::uint64_t modifierFlags = 0;
    // The hardware key code; 0 for mouse and scroll events.
    std::uint16_t keyCode = 0;
    // Auto-repeat; only ever true for keyDown and keyUp.
    bool isRepeat = false;
    // Seconds since system start-up (the monotonic uptime clock).
    double timestamp = 0;
    // Carries the application's own synthetic-event tag.
    bool isSynthetic = false;
    // Came through the local monitor: addressed to one of this application's own windows.
    bool toOwnApp = false;

    bool operator==(const InputEvent&) const = default;
};

using InputKinds = std::set<InputEvent::Kind>;

// Something that watches input events through the hub. Every member is used on the main thread.
class InputSubscriber {
  public:
    virtual ~InputSubscriber() = default;
    // The kinds of event it wants.
    virtual const InputKinds& kinds() const = 0;
    // Whether it also wants the application's own synthetic events.
    virtual bool receivesSynthetic() const = 0;
    // One log line describing what it watches, written when monitoring starts.
    virtual std::string startLog() const = 0;
    virtual void handle(const InputEvent& event) = 0;
};

}  // namespace parlendo
