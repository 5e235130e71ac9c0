#pragma once

#include "capture/AccessibleSelection.h"
#include "capture/EwmhWindows.h"
#include "capture/SelectionSource.h"
#include "capture/XFixesClipboardCounter.h"
#include "capture/XTestKeyboard.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"

#include <memory>

namespace parlendo {

// The desktop services one lookup reads from.
struct SelectionDesktop {
    std::shared_ptr<AccessibilityPort> accessibility;
    std::shared_ptr<EwmhWindows> windows;
    std::shared_ptr<XFixesClipboardCounter> clipboardCount;
    std::shared_ptr<XTestKeyboard> keyboard;
    ExecutorPtr main;
    std::shared_ptr<const MonotonicClock> clock;
};

// The desktop side of one lookup in one application: the selection and its rectangle through
// the accessibility bus, and for the copy fallback the clipboard (through GTK on the main thread,
// reached synchronously for at most a second), its change count (XFixes) and the copy keys
// (XTest; Control+Shift+C when the front window is a terminal). Built on the main thread, used on
// the selection-fetch queue.
class AtspiSelectionReader final : public SelectionReading {
  public:
    // How long a clipboard step may wait for the main thread.
    static constexpr double mainHopTimeout = 1.0;

    AtspiSelectionReader(std::shared_ptr<SelectionDesktop> desktop, RunningApplication app);

    std::optional<DirectSelection> readDirect() override;
    std::optional<WindowIdentity> frontWindow() override;
    std::int64_t pasteboardChangeCount() override;
    SavedPasteboard savePasteboard() override;
    std::int64_t restorePasteboard(const SavedPasteboard& saved) override;
    std::optional<std::string> pasteboardText() override;
    void postCopy() override;
    double now() override;
    std::optional<SelectionBoundsRead> selectionBounds() override;

  private:
    std::shared_ptr<SelectionDesktop> desktop_;
    AccessibleSelection selection_;
};

}  // namespace parlendo
