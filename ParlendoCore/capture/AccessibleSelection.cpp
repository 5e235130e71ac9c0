#include "capture/AccessibleSelection.h"

#include "capture/AccessibilityBoost.h"
#include "capture/CaptureKeys.h"
#include "foundation/Log.h"
#include "foundation/Text.h"

#include <functional>
#include <utility>

namespace parlendo {

namespace {

constexpr char32_t objectReplacement = 0xFFFC;
// How deep embedded elements are followed, and how many in all, before the read gives up on
// them (a whole long page selected): the selection is then read another way.
constexpr int embeddedDepth = 8;
constexpr int embeddedLimit = 400;

// The selected text of one element, with each embedded element (U+FFFC in the text) replaced by
// its own selected text, or its whole text where it has no selection of its own (it lies wholly
// inside the selection); blocks are kept apart by a line break. None when the element has no
// selection with characters, or when the embedded elements go past the limits.
struct SelectionText {
    int budget = embeddedLimit;
    bool exhausted = false;

    std::optional<std::string> of(AccessibleNode& node, int depth) {
        const auto range = node.selection();
        if (!range || !range->hasLength()) {
            return std::nullopt;
        }
        auto raw = node.text(*range);
        if (!raw || raw->empty()) {
            return std::nullopt;
        }
        return expand(node, *raw, range->start, depth);
    }

    std::optional<std::string> whole(AccessibleNode& node, int depth) {
        auto raw = node.value();
        if (!raw || raw->empty()) {
            return std::nullopt;
        }
        return expand(node, *raw, 0, depth);
    }

    std::string expand(AccessibleNode& node, const std::string& raw, std::int64_t start,
                       int depth) {
        if (raw.find("\xEF\xBF\xBC") == std::string::npos) {
            return raw;
        }
        const std::u32string points = text::toCodePoints(raw);
        std::string out;
        std::u32string run;
        bool afterBlock = false;
        for (size_t i = 0; i < points.size(); ++i) {
            if (points[i] != objectReplacement) {
                if (afterBlock && !isBreak(points[i])) {
                    run += U'\n';
                }
                afterBlock = false;
                run += points[i];
                continue;
            }
            out += text::fromCodePoints(run);
            run.clear();
            const auto child = follow(node, start + static_cast<std::int64_t>(i), depth);
            if (!child.text || child.text->empty()) {
                continue;
            }
            if (!child.inlined && !out.empty() && !endsWithBreak(out)) {
                out += '\n';
            }
            out += *child.text;
            afterBlock = !child.inlined;
        }
        out += text::fromCodePoints(run);
        return out;
    }

    struct Child {
        std::optional<std::string> text;
        bool inlined = false;
    };

    Child follow(AccessibleNode& node, std::int64_t offset, int depth) {
        if (depth >= embeddedDepth || budget <= 0) {
            exhausted = true;
            return {};
        }
        --budget;
        const auto child = node.embeddedAt(offset);
        if (!child) {
            return {};
        }
        auto selected = of(*child, depth + 1);
        if (!selected) {
            selected = whole(*child, depth + 1);
        }
        return Child{std::move(selected), child->isInline()};
    }

    static bool isBreak(char32_t c) { return c == U'\n' || c == U'\r'; }
    static bool endsWithBreak(const std::string& s) {
        return !s.empty() && (s.back() == '\n' || s.back() == '\r');
    }
};

// The text of the element's first selection, when it has one with characters; none when it has
// none or when its embedded elements could not all be followed.
std::optional<std::string> selectedText(AccessibleNode& node) {
    SelectionText reading;
    auto text = reading.of(node, 0);
    if (reading.exhausted) {
        Log::write("capture", "직접 읽기 그만둠 — 선택 안에 든 요소가 너무 많음");
        return std::nullopt;
    }
    if (!text || text->empty()) {
        return std::nullopt;
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
    port_->setCallTimeout(CaptureKeys::directReadTimeout);
    const auto focused = port_->focusedElement(app_);
    if (!focused) {
        boost("no_focused_element");
        return std::nullopt;
    }
    if (auto text = selectedText(*focused)) {
        return DirectSelection{std::move(*text), "selected_text"};
    }
    if (const auto changed = port_->selectionChangedElement(app_)) {
        if (auto text = selectedText(*changed)) {
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
    port_->setCallTimeout(ContextReadTimes::selectionBounds);
    const auto focused = port_->focusedElement(app_);
    if (!focused) {
        return std::nullopt;
    }
    const ScreenFrames screens = port_->screens();
    if (const auto range = focused->selection(); range && range->hasLength()) {
        if (auto rect = accept(focused->rangeBounds(*range), screens)) {
            return SelectionBoundsRead{*rect, "range"};
        }
    }
    const ReadBudget budget(ContextReadTimes::selectionBounds, t0, clock_);
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
            if (auto rect = accept(node.rangeBounds(*range), screens)) {
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
