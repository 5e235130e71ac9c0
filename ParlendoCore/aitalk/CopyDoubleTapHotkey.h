#pragma once

#include "aitalk/CopyDoubleTap.h"
#include "capture/InputEvent.h"

#include <cstdint>
#include <functional>
#include <string>

namespace parlendo {

// The input hub's subscriber for the AI talk trigger: Ctrl held alone, C pressed twice within
// half a second (by the physical key, so any layout works). It remembers the clipboard's change
// count from the moment Ctrl went down alone, so that the copy made by the first C already counts
// as a change, and hands it to `onTrigger` with the time of the second press. The application's
// own synthetic events never reach it. Main thread.
class CopyDoubleTapHotkey final : public InputSubscriber {
  public:
    using ChangeCount = std::function<std::int64_t()>;

    // `changeCount` reads the clipboard's change counter; it is read once now.
    explicit CopyDoubleTapHotkey(ChangeCount changeCount);

    // (baseline change count, uptime of the second press); does nothing until set.
    std::function<void(std::int64_t baseline, double at)> onTrigger;

    const InputKinds& kinds() const override { return kinds_; }
    bool receivesSynthetic() const override { return false; }
    std::string startLog() const override;
    void handle(const InputEvent& event) override;

    bool commandOnly() const { return commandOnly_; }
    std::int64_t baseline() const { return baseline_; }

  private:
    ChangeCount changeCount_;
    CopyDoubleTap detector_;
    bool commandOnly_ = false;
    std::int64_t baseline_ = 0;
    InputKinds kinds_;
};

}  // namespace parlendo
