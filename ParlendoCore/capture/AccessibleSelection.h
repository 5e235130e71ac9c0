#pragma once

#include "capture/AccessibleNode.h"
#include "capture/SelectionSource.h"
#include "foundation/Clock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace parlendo {

// The accessibility switches the reader turned on, for the whole process: an application is
// boosted at most once per run, and what was switched on is switched back at exit. Thread-safe.
class AccessibilityBoosts {
  public:
    // The record of this process.
    static AccessibilityBoosts& shared();

    // False when the process was already tried in this run; records it otherwise.
    bool firstAttempt(std::int32_t pid);
    // The switch was turned on for `pid`.
    void turnedOn(std::int32_t pid, const std::string& attribute);
    // Takes (and forgets) what was turned on.
    std::map<std::int32_t, std::string> take();

  private:
    std::mutex lock_;
    std::set<std::int32_t> boosted_;
    std::map<std::int32_t, std::string> turnedOn_;
};

// The accessibility side of one lookup in one application: the selected text, the selection's
// rectangle and the boost of applications that hide their text. Used on the selection-fetch
// queue.
class AccessibleSelection {
  public:
    AccessibleSelection(std::shared_ptr<AccessibilityPort> port, RunningApplication app,
                        std::shared_ptr<const MonotonicClock> clock,
                        AccessibilityBoosts& boosts = AccessibilityBoosts::shared());

    // The selected text with the way it was found: "selected_text" (the focused element's
    // selection) or "selection_changed" (the element whose selection changed last). When nothing
    // is found, the application is boosted once. The whole read, the search for the focused
    // element included, ends within `CaptureKeys::directReadBudget`; past it, none.
    std::optional<DirectSelection> readDirect();

    // The selection's rectangle in card coordinates within 0.12 seconds, found as "range" (the
    // focused element's selection, measured in the elements embedded in it that hold its
    // characters) or "lines" (the union of the selected text leaves below it,
    // at most 599 elements to depth 4); none when nothing plausible was found.
    std::optional<SelectionBoundsRead> selectionBounds();

    // Turns back every switch the process turned on; the number switched back. Logs
    // "접근성 되돌림 apps=<n> restored=<m>".
    static int restoreAccessibility(AccessibilityPort& port,
                                    AccessibilityBoosts& boosts = AccessibilityBoosts::shared());

  private:
    void boost(const std::string& why);
    std::optional<PopupRect> accept(const std::optional<DesktopRect>& rect,
                                    const ScreenFrames& screens) const;

    std::shared_ptr<AccessibilityPort> port_;
    RunningApplication app_;
    std::shared_ptr<const MonotonicClock> clock_;
    AccessibilityBoosts& boosts_;
};

}  // namespace parlendo
