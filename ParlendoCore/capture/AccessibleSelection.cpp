#include "capture/AccessibleSelection.h"

#include "capture/AccessibilityBoost.h"
#include "capture/CaptureKeys.h"
#include "capture/EmbeddedSelection.h"
#include "foundation/Log.h"

#include <cstdio>
#include <functional>
#include <utility>

namespace parlendo {

namespace {

void logOverBudget(const CallBudget& calls) {
    char line[128];
    std::snprintf(line, sizeof line, "직접 읽기 그만둠 — 읽기 상한 %.2f초를 넘김 ms=%.0f",
                  calls.budget().limit, calls.budget().elapsed() * 1000);
    Log::write("capture", line);
}

// The element's selected text, its embedded elements followed, within the read's budget; none
// when it has none or when the read gave up.
std::optional<std::string> selectedText(AccessibleNode& node, CallBudget& calls) {
    EmbeddedSelection reading(calls);
    auto text = reading.text(node);
    switch (reading.stopped()) {
        case EmbeddedSelection::Stop::none:
            break;
        case EmbeddedSelection::Stop::tooManyElements:
            Log::write("capture", "직접 읽기 그만둠 — 선택 안에 든 요소가 너무 많음");
            break;
        case EmbeddedSelection::Stop::overBudget:
            logOverBudget(calls);
            break;
    }
    return text;
}

constexpr int boundsVisits = 600;
constexpr int boundsDepth = 4;
constexpr double restoreTimeout = 0.2;

}  // namespace

AccessibilityBoosts& AccessibilityBoosts::shared() {
    static AccessibilityBoosts boosts;
    return boosts;
}

bool AccessibilityBoosts::firstAttempt(std::int32_t pid) {
    std::lock_guard guard(lock_);
    return boosted_.insert(pid).second;
}

void AccessibilityBoosts::turnedOn(std::int32_t pid, const std::string& attribute) {
    std::lock_guard guard(lock_);
    turnedOn_[pid] = attribute;
}

std::map<std::int32_t, std::string> AccessibilityBoosts::take() {
    std::lock_guard guard(lock_);
    return std::exchange(turnedOn_, {});
}

AccessibleSelection::AccessibleSelection(std::shared_ptr<AccessibilityPort> port,
                                         RunningApplication app,
                                         std::shared_ptr<const MonotonicClock> clock,
                                         AccessibilityBoosts& boosts)
    : port_(std::move(port)), app_(std::move(app)), clock_(std::move(clock)), boosts_(boosts) {}

std::optional<DirectSelection> AccessibleSelection::readDirect() {
    // The whole read ends within its budget, the search for the focused element and the embedded
    // elements followed included: an application that stops answering, or one just started
    // that would be let take seconds a call, holds the fetch queue no longer, and the selection
    // is read another way.
    CallBudget calls(*port_, CaptureKeys::directReadTimeout, CaptureKeys::directReadBudget,
                     clock_->uptime(), clock_);
    const auto focused = port_->focusedElement(app_, calls.gate());
    if (!focused) {
        // Out of time (a call refused, or the last one waited out what was left), nothing is
        // known of the focus: the one boost of the process is kept for an application that
        // answered.
        if (calls.spent() || calls.budget().expired()) {
            logOverBudget(calls);
        } else {
            boost("no_focused_element");
        }
        return std::nullopt;
    }
    if (auto text = selectedText(*focused, calls)) {
        return DirectSelection{std::move(*text), "selected_text"};
    }
    if (calls.spent()) {
        return std::nullopt;
    }
    if (const auto changed = port_->selectionChangedElement(app_)) {
        if (auto text = selectedText(*changed, calls)) {
            return DirectSelection{std::move(*text), "selection_changed"};
        }
    }
    boost("no_selection_attribute");
    return std::nullopt;
}

void AccessibleSelection::boost(const std::string& why) {
    if (!boosts_.firstAttempt(app_.pid)) {
        return;
    }
    const auto attribute =
        AccessibilityBoost::attribute(app_.bundleID, port_->hasElectronFramework(app_));
    if (!attribute) {
        return;
    }
    port_->setCallTimeout(CaptureKeys::directReadTimeout);
    // The switch is the session's: when it was on already, it is left alone now and at exit.
    const bool wasOn = port_->accessibilitySwitch(*attribute).value_or(false);
    const bool ok = wasOn || port_->setAccessibilitySwitch(*attribute, true);
    if (ok && !wasOn) {
        boosts_.turnedOn(app_.pid, *attribute);
    }
    Log::write("capture", "접근성 켬 app=" + app_.bundleID.value_or("?") + " attr=" + *attribute +
                              " ok=" + (ok ? "true" : "false") + " why=" + why +
                              " — 다음 캡처부터 직접 읽기를 시도한다");
}

std::optional<PopupRect> AccessibleSelection::accept(const std::optional<DesktopRect>& rect,
                                                     const ScreenFrames& screens) const {
    if (!rect) {
        return std::nullopt;
    }
    const auto result = SelectionBounds::appKitRect(*rect, screens.primaryHeight);
    if (!SelectionBounds::plausible(result, screens.frames)) {
        return std::nullopt;
    }
    return result;
}

std::optional<SelectionBoundsRead> AccessibleSelection::selectionBounds() {
    const double t0 = clock_->uptime();
    CallBudget calls(*port_, ContextReadTimes::selectionBounds, ContextReadTimes::selectionBounds,
                     t0, clock_);
    const auto focused = port_->focusedElement(app_, calls.gate());
    if (!focused) {
        return std::nullopt;
    }
    const ScreenFrames screens = port_->screens();
    // The selected range is measured where its characters are: in a web page, down in the
    // paragraph (or the link) that holds them, not on the document that shows it as one object.
    if (auto rect = accept(EmbeddedSelection(calls).bounds(*focused), screens)) {
        return SelectionBoundsRead{*rect, "range"};
    }
    const ReadBudget& budget = calls.budget();
    if (budget.expired()) {
        return std::nullopt;
    }
    int visits = boundsVisits;
    std::vector<PopupRect> found;
    std::function<void(AccessibleNode&, int)> walk = [&](AccessibleNode& node, int depth) {
        --visits;
        if (visits < 1 || depth > boundsDepth || budget.expired()) {
            return;
        }
        const auto role = node.role();
        if (role == AccessibleNode::Role::staticText) {
            const auto range = node.selection();
            if (!range || !range->hasLength()) {
                return;
            }
            if (auto rect = accept(EmbeddedSelection(calls).bounds(node, *range), screens)) {
                found.push_back(*rect);
            } else if (auto frame = accept(node.frame(), screens)) {
                found.push_back(*frame);
            }
            return;
        }
        for (const auto& child : node.children(visits > 0 ? static_cast<size_t>(visits) : 0)) {
            if (child) {
                walk(*child, depth + 1);
            }
        }
    };
    for (const auto& child : focused->visibleChildren(boundsVisits)) {
        if (child) {
            walk(*child, 0);
        }
    }
    if (const auto lines = SelectionBounds::unionOf(found);
        lines && SelectionBounds::plausible(*lines, screens.frames)) {
        return SelectionBoundsRead{*lines, "lines"};
    }
    return std::nullopt;
}

int AccessibleSelection::restoreAccessibility(AccessibilityPort& port,
                                              AccessibilityBoosts& boosts) {
    const auto taken = boosts.take();
    // The switches belong to the session, not to one application: each is turned back once,
    // whether or not the application that needed it still runs.
    std::set<std::string> attributes;
    for (const auto& [pid, attribute] : taken) {
        attributes.insert(attribute);
    }
    int restored = 0;
    port.setCallTimeout(restoreTimeout);
    for (const auto& attribute : attributes) {
        if (port.setAccessibilitySwitch(attribute, false)) {
            ++restored;
        }
    }
    Log::write("capture", "접근성 되돌림 apps=" + std::to_string(taken.size()) +
                              " restored=" + std::to_string(restored));
    return restored;
}

}  // namespace parlendo
