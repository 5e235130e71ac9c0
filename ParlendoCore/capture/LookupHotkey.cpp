#include "capture/LookupHotkey.h"

#include "capture/CaptureKeys.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"

#include <charconv>
#include <cstdio>

namespace parlendo {

namespace {
std::string shortest(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}
}  // namespace

LookupHotkey::LookupHotkey()
    : detector_(CaptureKeys::lookupModifiers, CaptureKeys::lookupMaxHold),
      kinds_{InputEvent::Kind::flagsChanged, InputEvent::Kind::keyDown,
             InputEvent::Kind::mouseDown} {}

std::string LookupHotkey::startLog() const {
    return "찾기 키 감시 시작 (⌥⌘ · 최대 " + shortest(CaptureKeys::lookupMaxHold) + "초)";
}

std::set<ChordDetector::Modifier> LookupHotkey::pressedModifiers(std::uint64_t flags) {
    std::set<ChordDetector::Modifier> pressed;
    if (flags & ModifierFlags::option) {
        pressed.insert(ChordDetector::Modifier::option);
    }
    if (flags & ModifierFlags::command) {
        pressed.insert(ChordDetector::Modifier::command);
    }
    if (flags & ModifierFlags::shift) {
        pressed.insert(ChordDetector::Modifier::shift);
    }
    if (flags & ModifierFlags::control) {
        pressed.insert(ChordDetector::Modifier::control);
    }
    return pressed;
}

void LookupHotkey::handle(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::keyDown:
            detector_.key();
            return;
        case InputEvent::Kind::flagsChanged:
            break;
        case InputEvent::Kind::keyUp:
        case InputEvent::Kind::mouseDown:
        case InputEvent::Kind::scrollWheel:
            detector_.click();
            return;
    }
    const auto outcome =
        detector_.modifiers(pressedModifiers(event.modifierFlags), event.timestamp);
    std::visit(overloaded{
                   [](const ChordDetector::None&) {},
                   [&](const ChordDetector::Triggered& triggered) {
                       char line[64];
                       std::snprintf(line, sizeof line, "찾기 키 발동 held_ms=%.0f",
                                     triggered.held * 1000);
                       Log::write("hotkey", line);
                       if (event.toOwnApp) {
                           Log::write("hotkey", "찾기 키 무시 — PARLENDO 자기 창(키가 이 앱에 옴)");
                           return;
                       }
                       if (onTrigger) {
                           onTrigger(event.timestamp);
                       }
                   },
                   [](const ChordDetector::Rejected& rejected) {
                       Log::write("hotkey",
                                  "찾기 키 취소 reason=" + std::string(toString(rejected.reason)));
                   },
               },
               outcome);
}

}  // namespace parlendo
