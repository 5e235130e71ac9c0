#pragma once

#include "aitalk/ViewerProbe.h"
#include "capture/AccessibleNode.h"
#include "capture/ContextReader.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The viewer probe on this desktop: it reads through the accessibility client on the
// selection-fetch queue (where that client lives), takes the document from the tree's document
// attributes, else from the files the viewer's process names or holds open and those the recent
// list says it opened, as the window title shows them (the reader of a capture's window
// context), else the one PDF the viewer's process holds open, else from the window context, and
// hands the hints back on the main executor.
class DesktopViewerProbe {
  public:
    DesktopViewerProbe(std::shared_ptr<AccessibilityPort> accessibility,
                       std::shared_ptr<ContextReader> context, ExecutorPtr fetchQueue,
                       ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock);

    // Probes the application (empty hints without one); `done` runs on the main executor with
    // the hints and their `ms`.
    void probe(std::optional<RunningApplication> app, Completion<void(ViewerHints)> done);

    // The viewers whose page view may not hold the focus, so that their pages are searched from
    // the window: the document viewers of GNOME and MATE.
    static bool searchesArea(const std::optional<std::string>& bundleID);

  private:
    std::shared_ptr<ViewerProbe> probe_;
    ExecutorPtr fetchQueue_;
    ExecutorPtr main_;
    std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
