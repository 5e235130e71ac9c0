#pragma once

#include "capture/AccessibilityTrust.h"
#include "capture/AtspiAccessibility.h"
#include "capture/AtspiSelectionReader.h"
#include "capture/CaptureCoordinator.h"
#include "capture/DesktopDocuments.h"
#include "capture/TreeContextReader.h"
#include "capture/X11InputSource.h"
#include "foundation/GlibThreadQueue.h"

#include <memory>

namespace parlendo {

// The desktop side of capture on X11, built once by the program: the input watch behind the
// input hub, the selection-fetch queue with the accessibility client on it, the window and
// clipboard readers, the copy keys and the permission watch. Main thread, after GTK is up (and
// with this process's own windows kept off the accessibility bus, NO_AT_BRIDGE=1, since the
// accessibility client runs on the fetch queue).
struct DesktopCapture {
    std::shared_ptr<GlibThreadQueue> fetchQueue;
    std::shared_ptr<SyntheticKeyTrail> trail;
    std::shared_ptr<X11InputSource> input;
    std::shared_ptr<AtspiAccessibility> accessibility;
    std::shared_ptr<SelectionDesktop> selection;
    std::shared_ptr<AccessibilityTrust> trust;
    std::shared_ptr<DesktopDocuments> documents;
    std::shared_ptr<Clock> clock;

    // Everything but the cards; null when the X display cannot be reached.
    static std::shared_ptr<DesktopCapture> build(ExecutorPtr main, std::shared_ptr<Clock> clock);

    // The monitors as the accessibility reads need them, read through GDK on the main thread
    // (waited for from the fetch queue). Each read also moves the origin of the screen
    // coordinates the accessibility bus reports to the primary monitor's top left.
    static std::function<ScreenFrames()> screens(ExecutorPtr main);

    // A reader of the front window's context (used on the fetch queue).
    std::shared_ptr<TreeContextReader> contextReader() const;

    // The coordinator's desktop with the given card presenter and notice card.
    CaptureDesktop desktop(std::shared_ptr<PopupPresenting> popup,
                           std::function<void(const std::string&, double)> show);
};

}  // namespace parlendo
