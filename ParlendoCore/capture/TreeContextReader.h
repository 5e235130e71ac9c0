#pragma once

#include "capture/AccessibleNode.h"
#include "capture/ContextReader.h"
#include "capture/DesktopDocuments.h"
#include "foundation/Clock.h"

#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The window context of an application within 0.4 seconds: who the focused window belongs to
// and its title (from the window system), the file of the document it shows and, in web
// browsers, the page's address (from the accessibility tree: the shown web area first, else the
// address field of a toolbar). A document's file comes from the accessibility tree, else, for
// applications other than browsers, from what the desktop records (`documents`). A web address
// is kept only when the front window is still the same after the read. Used on the
// selection-fetch queue.
class TreeContextReader final : public ContextReader {
  public:
    TreeContextReader(std::shared_ptr<WindowPort> windows,
                      std::shared_ptr<AccessibilityPort> accessibility,
                      std::shared_ptr<const MonotonicClock> clock,
                      std::shared_ptr<DesktopDocuments> documents = nullptr);

    std::optional<ReadingContext> read(const std::optional<RunningApplication>& app) override;
    WindowIdentity identity(const RunningApplication& app) override;

    // The address of the first shown web area below `element` (at most 399 elements, depth 12);
    // none past a PDF plug-in or a long list of pages.
    static std::optional<std::string> findWebAreaURL(AccessibleNode& element, int depth, int& nodes,
                                                     const ReadBudget& budget);
    // The text of the address field in one of the window's toolbars (at most 199 elements in
    // all toolbars, depth 6).
    static std::optional<std::string> addressBarValue(AccessibleNode& window,
                                                      const ReadBudget& budget);
    // The file URL of the window's document, or of the first document below it that is not a
    // web page (at most 59 elements, depth 4). Addresses that name no local file (a browser's own
    // interface) do not count.
    static std::optional<std::string> documentURL(AccessibleNode& window, const ReadBudget& budget);

  private:
    std::shared_ptr<WindowPort> windows_;
    std::shared_ptr<AccessibilityPort> accessibility_;
    std::shared_ptr<const MonotonicClock> clock_;
    std::shared_ptr<DesktopDocuments> documents_;
};

}  // namespace parlendo
