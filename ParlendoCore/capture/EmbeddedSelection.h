#pragma once

#include "capture/AccessibleNode.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The calls of one accessibility read within a time budget. A call is made only while the budget
// lasts, and its time-out is cut to what is left of the budget (for an application just met as
// for any other), so that an application that stops answering midway holds the read no longer
// than the budget.
class CallBudget {
  public:
    // `perCall` is the longest time-out of a call; the budget of `limit` seconds started at
    // `started` on `clock`.
    CallBudget(AccessibilityPort& port, double perCall, double limit, double started,
               std::shared_ptr<const MonotonicClock> clock);

    // Whether one more call may be made; sets its time-out when it changes.
    bool allow();
    // `allow` as the port's searches ask it; valid while this budget lives.
    CallGate gate() {
        return [this] {
            return allow();
        };
    }
    // Whether a call was refused because the budget ran out.
    bool spent() const { return spent_; }
    const ReadBudget& budget() const { return budget_; }

  private:
    AccessibilityPort& port_;
    double perCall_;
    double timeout_;
    ReadBudget budget_;
    bool spent_ = false;
};

// The selection of an element whose text shows other elements each as one U+FFFC (a web page's
// document, its paragraphs, the links in them), followed down to the elements that hold the
// selected characters. Embedded elements are followed to depth 8 and 400 in all, each call within
// the read's budget; a read that cannot follow them all gives up rather than answer in part.
class EmbeddedSelection {
  public:
    // Why a read gave up.
    enum class Stop { none, tooManyElements, overBudget };

    // One read, of the text or of the bounds.
    explicit EmbeddedSelection(CallBudget& calls);

    // The selected text of the element, each embedded element replaced by its own selected text,
    // or its whole text where it has no selection of its own (it lies wholly inside the
    // selection); blocks are kept apart by a line break. None when the element has no selection
    // with characters, or when the read gave up.
    std::optional<std::string> text(AccessibleNode& node);

    // The screen rectangle of the selection: each run of selected characters measured by the
    // element that holds it, an embedded element without a selection of its own by its frame,
    // all joined. None when the element has no selection with characters, nothing could be
    // measured, or the read gave up.
    std::optional<DesktopRect> bounds(AccessibleNode& node);
    // The same for the selection `range` already read from the element.
    std::optional<DesktopRect> bounds(AccessibleNode& node, const TextRange& range);

    Stop stopped() const { return stop_; }

  private:
    struct Followed {
        std::optional<std::string> text;
        bool inlined = false;
    };

    std::optional<std::string> selectedText(AccessibleNode& node, int depth);
    std::optional<std::string> wholeText(AccessibleNode& node, int depth);
    std::string expand(AccessibleNode& node, const std::u32string& points, std::int64_t start,
                       int depth);
    Followed followText(AccessibleNode& node, std::int64_t offset, int depth);
    void measure(AccessibleNode& node, const TextRange& range, int depth,
                 std::vector<DesktopRect>& into);
    std::optional<DesktopRect> place(AccessibleNode& node, const TextRange& part,
                                     std::int64_t first);
    // The element embedded at `offset`, when the limits and the budget allow one more.
    AccessibleNodePtr embedded(AccessibleNode& node, std::int64_t offset, int depth);
    bool allow();

    CallBudget& calls_;
    int left_;
    Stop stop_ = Stop::none;
};

}  // namespace parlendo
