#include "aitalk/CopyDoubleTapHotkey.h"

#include "aitalk/AITalkKeys.h"
#include "foundation/Log.h"

#include <cstdio>

namespace parlendo {

CopyDoubleTapHotkey::CopyDoubleTapHotkey(ChangeCount changeCount)
    : changeCount_(std::move(changeCount)),
      detector_(AITalkKeys::doubleTapWindow),
      baseline_(changeCount_ ? changeCount_() : 0),
      kinds_{InputEvent::Kind::flagsChanged, InputEvent::Kind::keyDown,
             InputEvent::Kind::mouseDown} {}

std::string CopyDoubleTapHotkey::startLog() const {
    return "AI 톡 키 감시 시작 (⌘ 누른 채 C 두 번 · 0.5초 안)";
}

void CopyDoubleTapHotkey::handle(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::flagsChanged: {
            const auto held = event.modifierFlags & ModifierFlags::deviceIndependent;
            if (held != ModifierFlags::command) {
                commandOnly_ = false;
                detector_.modifiers(false);
                return;
            }
            if (!commandOnly_ && changeCount_) {
                baseline_ = changeCount_();
            }
            commandOnly_ = true;
            return;
        }
        case InputEvent::Kind::keyDown: {
            if (event.toOwnApp && !event.isRepeat && commandOnly_ &&
                event.keyCode == AITalkKeys::copyKeyCode) {
                Log::write("hotkey", "AI 톡 키 무시 — PARLENDO 자기 창");
            }
            const auto outcome = detector_.key(event.keyCode, commandOnly_, event.timestamp,
                                               event.isRepeat, event.toOwnApp);
            if (!outcome.triggered) {
                return;
            }
            char line[64];
            std::snprintf(line, sizeof line, "AI 톡 키 발동 gap_ms=%.0f", outcome.gap * 1000);
            Log::write("hotkey", line);
            if (onTrigger) {
                onTrigger(baseline_, event.timestamp);
            }
            return;
        }
        case InputEvent::Kind::mouseDown:
            detector_.click();
            return;
        case InputEvent::Kind::keyUp:
        case InputEvent::Kind::scrollWheel:
            return;
    }
}

}  // namespace parlendo
