#include "capture/EmbeddedSelection.h"

#include "foundation/Text.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace parlendo {

namespace {

constexpr char32_t objectReplacement = 0xFFFC;
constexpr std::string_view objectReplacementUtf8 = "\xEF\xBF\xBC";
// How deep embedded elements are followed, and how many in all, before a read gives up on them
// (a whole long page selected): the selection is then read another way.
constexpr int embeddedDepth = 8;
constexpr int embeddedLimit = 400;
// A time-out is set again only when it changes by at least this much.
constexpr double timeoutStep = 0.001;
// An application that answers nothing for a selection's place is asked again, for at most this
// share of the read's budget (the rest is left to the other ways) and this many times.
constexpr double askAgainShare = 1.0 / 3;
constexpr int askAgainTimes = 100;

bool isBreak(char32_t c) {
    return c == U'\n' || c == U'\r';
}

bool endsWithBreak(const std::string& s) {
    return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

bool isInk(char32_t c) {
    return c != U' ' && c != U'\t' && !isBreak(c);
}

// Whether the characters [from, to) hold something visible: runs of white space between the
// blocks of a page have no place of their own worth measuring.
bool hasInk(const std::u32string& points, size_t from, size_t to) {
    return std::any_of(points.begin() + static_cast<std::ptrdiff_t>(from),
                       points.begin() + static_cast<std::ptrdiff_t>(to), isInk);
}

// The index of the first visible character in [from, to), `from` when there is none.
size_t firstInk(const std::u32string& points, size_t from, size_t to) {
    const auto end = points.begin() + static_cast<std::ptrdiff_t>(to);
    const auto it = std::find_if(points.begin() + static_cast<std::ptrdiff_t>(from), end, isInk);
    return it == end ? from : static_cast<size_t>(it - points.begin());
}

DesktopRect joined(const DesktopRect& a, const DesktopRect& b) {
    const double x = std::min(a.x, b.x);
    const double y = std::min(a.y, b.y);
    return DesktopRect{x, y, std::max(a.x + a.width, b.x + b.width) - x,
                       std::max(a.y + a.height, b.y + b.height) - y};
}

}  // namespace

CallBudget::CallBudget(AccessibilityPort& port, double perCall, double limit, double started,
                       std::shared_ptr<const MonotonicClock> clock)
    : port_(port), perCall_(perCall), timeout_(-1), budget_(limit, started, std::move(clock)) {}

bool CallBudget::allow() {
    if (spent_) {
        return false;
    }
    const double left = budget_.limit - budget_.elapsed();
    if (left <= 0) {
        spent_ = true;
        return false;
    }
    const double timeout = std::min(perCall_, left);
    if (std::abs(timeout - timeout_) >= timeoutStep) {
        port_.setStrictCallTimeout(timeout);
        timeout_ = timeout;
    }
    return true;
}

EmbeddedSelection::EmbeddedSelection(CallBudget& calls) : calls_(calls), left_(embeddedLimit) {}

bool EmbeddedSelection::allow() {
    if (stop_ != Stop::none) {
        return false;
    }
    if (!calls_.allow()) {
        stop_ = Stop::overBudget;
        return false;
    }
    return true;
}

AccessibleNodePtr EmbeddedSelection::embedded(AccessibleNode& node, std::int64_t offset,
                                              int depth) {
    if (stop_ == Stop::none && (depth >= embeddedDepth || left_ <= 0)) {
        stop_ = Stop::tooManyElements;
    }
    if (!allow()) {
        return nullptr;
    }
    --left_;
    return node.embeddedAt(offset);
}

std::optional<std::string> EmbeddedSelection::text(AccessibleNode& node) {
    auto text = selectedText(node, 0);
    if (stop_ != Stop::none || !text || text->empty()) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> EmbeddedSelection::selectedText(AccessibleNode& node, int depth) {
    if (!allow()) {
        return std::nullopt;
    }
    const auto range = node.selection();
    if (!range || !range->hasLength() || !allow()) {
        return std::nullopt;
    }
    auto raw = node.text(*range);
    if (!raw || raw->empty()) {
        return std::nullopt;
    }
    if (raw->find(objectReplacementUtf8) == std::string::npos) {
        return raw;
    }
    return expand(node, text::toCodePoints(*raw), range->start, depth);
}

std::optional<std::string> EmbeddedSelection::wholeText(AccessibleNode& node, int depth) {
    if (!allow()) {
        return std::nullopt;
    }
    auto raw = node.value();
    if (!raw || raw->empty()) {
        return std::nullopt;
    }
    if (raw->find(objectReplacementUtf8) == std::string::npos) {
        return raw;
    }
    return expand(node, text::toCodePoints(*raw), 0, depth);
}

std::string EmbeddedSelection::expand(AccessibleNode& node, const std::u32string& points,
                                      std::int64_t start, int depth) {
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
        const auto child = followText(node, start + static_cast<std::int64_t>(i), depth);
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

EmbeddedSelection::Followed EmbeddedSelection::followText(AccessibleNode& node, std::int64_t offset,
                                                          int depth) {
    const auto child = embedded(node, offset, depth);
    if (!child) {
        return {};
    }
    auto text = selectedText(*child, depth + 1);
    if (!text) {
        text = wholeText(*child, depth + 1);
    }
    const bool inlined = allow() && child->isInline();
    return Followed{std::move(text), inlined};
}

std::optional<DesktopRect> EmbeddedSelection::bounds(AccessibleNode& node) {
    if (!allow()) {
        return std::nullopt;
    }
    const auto range = node.selection();
    if (!range || !range->hasLength()) {
        return std::nullopt;
    }
    return bounds(node, *range);
}

std::optional<DesktopRect> EmbeddedSelection::bounds(AccessibleNode& node, const TextRange& range) {
    std::vector<DesktopRect> rects;
    measure(node, range, 0, rects);
    if (stop_ != Stop::none) {
        return std::nullopt;
    }
    // The union is the same in either direction of y.
    std::vector<PopupRect> boxes;
    for (const auto& r : rects) {
        boxes.push_back(PopupRect{r.x, r.y, r.width, r.height});
    }
    const auto box = SelectionBounds::unionOf(boxes);
    if (!box) {
        return std::nullopt;
    }
    return DesktopRect{box->x, box->y, box->width, box->height};
}

// Where the element shows its characters `part`, whose first visible one is at `first`. An
// application may lay its text out for the accessibility bus only once asked: Firefox, just
// started, answers nothing to the first asks and then, for one more, only the range's last
// character. So the range is asked again while it answers nothing, and its place is joined with
// that of its first character: the place starts where the selection starts.
std::optional<DesktopRect> EmbeddedSelection::place(AccessibleNode& node, const TextRange& part,
                                                    std::int64_t first) {
    const ReadBudget& budget = calls_.budget();
    std::optional<DesktopRect> rect;
    for (int asked = 0; !rect && allow(); ++asked) {
        rect = node.rangeBounds(part);
        if (asked + 1 >= askAgainTimes || budget.elapsed() >= budget.limit * askAgainShare) {
            break;
        }
    }
    const TextRange head{first, first + 1};
    if (head != part && allow()) {
        if (const auto start = node.rangeBounds(head)) {
            rect = rect ? joined(*rect, *start) : *start;
        }
    }
    return rect;
}

// Adds the rectangles of the characters `range` of the element selects.
void EmbeddedSelection::measure(AccessibleNode& node, const TextRange& range, int depth,
                                std::vector<DesktopRect>& into) {
    std::optional<std::string> raw;
    if (allow()) {
        raw = node.text(range);
    }
    const auto add = [&](const TextRange& part, std::int64_t first) {
        if (auto rect = place(node, part, first)) {
            into.push_back(*rect);
        }
    };
    if (!raw || raw->find(objectReplacementUtf8) == std::string::npos) {
        const auto points = text::toCodePoints(raw.value_or(""));
        add(range, range.start + static_cast<std::int64_t>(firstInk(points, 0, points.size())));
        return;
    }
    // Each run of the element's own characters is measured by the element; each embedded one by
    // the element it stands for. An element's measure of an embedded character is not to be
    // trusted: a browser gives it for the whole block, or more.
    const std::u32string points = text::toCodePoints(*raw);
    size_t runStart = 0;
    for (size_t i = 0; i <= points.size(); ++i) {
        if (i < points.size() && points[i] != objectReplacement) {
            continue;
        }
        if (hasInk(points, runStart, i)) {
            add(TextRange{range.start + static_cast<std::int64_t>(runStart),
                          range.start + static_cast<std::int64_t>(i)},
                range.start + static_cast<std::int64_t>(firstInk(points, runStart, i)));
        }
        runStart = i + 1;
        if (i == points.size()) {
            break;
        }
        const auto child = embedded(node, range.start + static_cast<std::int64_t>(i), depth);
        if (!child || !allow()) {
            continue;
        }
        // An element without a selection of its own lies wholly inside the selection.
        if (const auto selected = child->selection(); selected && selected->hasLength()) {
            measure(*child, *selected, depth + 1, into);
        } else if (allow()) {
            if (auto frame = child->frame()) {
                into.push_back(*frame);
            }
        }
    }
}

}  // namespace parlendo
