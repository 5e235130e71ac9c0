#pragma once

#include "capture/AccessibleSelection.h"
#include "capture/EwmhWindows.h"
#include "capture/SelectionSource.h"
#include "capture/X11PrimarySelection.h"
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
    // Null where the owner of the primary selection cannot be told: it is then never read.
    std::shared_ptr<X11PrimarySelection> primary;
    ExecutorPtr main;
    std::shared_ptr<const MonotonicClock> clock;
};

// The desktop side of one lookup in one application: the selection and its rectangle through
// the accessibility bus; the PRIMARY selection when the application owns it; and for the copy
// fallback the clipboard (through GTK on the main thread, reached synchronously for at most a
// second), its change count (XFixes) and the copy keys (XTest; Control+Shift+C in the terminals
// that copy on it, none in other terminals or when no window is known to be in front). Built on
// the main thread, used on the selection-fetch queue.
class AtspiSelectionReader final : public SelectionReading {
  public:
    // How long a clipboard step may wait for the main thread.
    static constexpr double mainHopTimeout = 1.0;

    AtspiSelectionReader(std::shared_ptr<SelectionDesktop> desktop, RunningApplication app);

    std::optional<DirectSelection> readDirect() override;
    std::optional<std::string> readPrimary() override;
    std::optional<WindowIdentity> frontWindow() override;
    std::int64_t pasteboardChangeCount() override;
    std::optional<SavedPasteboard> savePasteboard() override;
    std::int64_t restorePasteboard(const SavedPasteboard& saved) override;
    std::optional<std::string> pasteboardText() override;
    bool postCopy() override;
    double now() override;
    std::optional<SelectionBoundsRead> selectionBounds() override;

  private:
    bool post(bool withShift);

    std::shared_ptr<SelectionDesktop> desktop_;
    RunningApplication app_;
    AccessibleSelection selection_;
};

}  // namespace parlendo
