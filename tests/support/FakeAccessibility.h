#pragma once

#include "FakeClock.h"
#include "capture/AccessibleNode.h"
#include "foundation/Text.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// One element of a scripted accessibility tree. Every call costs `callCost` seconds on the
// clock (an application that answers slowly) and counts in `calls`.
struct FakeNode final : AccessibleNode, std::enable_shared_from_this<FakeNode> {
    explicit FakeNode(std::optional<Role> role_ = Role::other) : nodeRole(role_) {}

    std::optional<Role> role() override { return touch(), nodeRole; }
    std::vector<AccessibleNodePtr> children(size_t atMost) override {
        touch();
        listed += std::min(atMost, kids.size());
        const auto end = kids.begin() + static_cast<std::ptrdiff_t>(std::min(atMost, kids.size()));
        return {kids.begin(), end};
    }
    std::vector<AccessibleNodePtr> visibleChildren(size_t atMost) override {
        if (!shown) {
            return children(atMost);
        }
        touch();
        const auto end =
            shown->begin() + static_cast<std::ptrdiff_t>(std::min(atMost, shown->size()));
        return {shown->begin(), end};
    }
    std::optional<std::string> documentURL() override { return touch(), url; }
    std::optional<std::string> identifier() override { return touch(), id; }
    std::optional<std::string> value() override { return touch(), fieldValue; }
    std::optional<TextRange> selection() override { return touch(), selected; }
    // Offsets count characters (code points), as the accessibility bus counts them.
    std::optional<std::string> text(const TextRange& range) override {
        touch();
        const std::u32string points = text::toCodePoints(content);
        if (range.start < 0 || range.end < range.start ||
            static_cast<size_t>(range.end) > points.size()) {
            return std::nullopt;
        }
        return text::fromCodePoints(std::u32string_view(points).substr(
            static_cast<size_t>(range.start), static_cast<size_t>(range.end - range.start)));
    }
    std::optional<DesktopRect> rangeBounds(const TextRange& range) override {
        touch();
        return placeOf ? placeOf(range) : bounds;
    }
    std::optional<DesktopRect> frame() override { return touch(), ownFrame; }
    std::optional<std::string> name() override { return touch(), nodeName; }
    AccessibleNodePtr parent() override { return touch(), up.lock(); }
    std::optional<int> pageIndex() override { return touch(), index; }
    bool showing() override { return touch(), !hidden; }
    AccessibleNodePtr embeddedAt(std::int64_t offset) override {
        touch();
        const auto it = embedded.find(offset);
        return it == embedded.end() ? nullptr : it->second;
    }
    bool isInline() override { return touch(), inlined; }

    std::shared_ptr<FakeNode> add(std::optional<Role> childRole = Role::other) {
        auto child = std::make_shared<FakeNode>(childRole);
        child->clock = clock;
        child->callCost = callCost;
        child->calls = calls;
        child->up = weak_from_this();
        kids.push_back(child);
        return child;
    }

    void touch() {
        ++*calls;
        if (clock && callCost > 0) {
            clock->advance(callCost);
        }
    }

    std::optional<Role> nodeRole;
    std::vector<std::shared_ptr<FakeNode>> kids;
    std::optional<std::string> url;
    std::optional<std::string> id;
    std::optional<std::string> fieldValue;
    std::optional<TextRange> selected;
    std::string content;
    std::optional<DesktopRect> bounds;
    // Where the element shows each range it is asked for, when set (`bounds` for any otherwise).
    std::function<std::optional<DesktopRect>(const TextRange&)> placeOf;
    std::optional<DesktopRect> ownFrame;
    std::optional<std::string> nodeName;
    std::weak_ptr<FakeNode> up;
    // The children on screen, when not all of them.
    std::optional<std::vector<std::shared_ptr<FakeNode>>> shown;
    std::optional<int> index;
    // Not shown now (a browser's background tab).
    bool hidden = false;
    // The elements shown by U+FFFC at these character offsets of `content`.
    std::map<std::int64_t, std::shared_ptr<FakeNode>> embedded;
    bool inlined = false;
    // How many children were handed out by `children`, over all calls.
    size_t listed = 0;

    std::shared_ptr<FakeClock> clock;
    double callCost = 0;
    std::shared_ptr<int> calls = std::make_shared<int>(0);
};

// The accessibility bus of a scripted desktop: one application's focused element, its element
// whose selection changed last, its active window, one 1920x1080 monitor and the two switches.
struct FakeAccessibilityPort final : AccessibilityPort {
    void setCallTimeout(double seconds) override { timeouts.push_back(seconds); }
    void setStrictCallTimeout(double seconds) override {
        timeouts.push_back(seconds);
        strictTimeouts.push_back(seconds);
    }
    // The search costs `searchCalls` calls of `searchCallCost` seconds each, each asked of the
    // gate first.
    AccessibleNodePtr focusedElement(const RunningApplication&, const CallGate& mayCall) override {
        for (int i = 0; i < searchCalls; ++i) {
            if (mayCall && !mayCall()) {
                return nullptr;
            }
            if (clock) {
                clock->advance(searchCallCost);
            }
        }
        return focused;
    }
    AccessibleNodePtr selectionChangedElement(const RunningApplication&) override {
        return changed;
    }
    AccessibleNodePtr activeWindow(const RunningApplication&) override { return window; }
    ScreenFrames screens() override { return frames; }
    bool hasElectronFramework(const RunningApplication&) override { return electron; }
    bool setAccessibilitySwitch(const std::string& name, bool on) override {
        sets.emplace_back(name, on);
        if (!switchesAnswer) {
            return false;
        }
        switches[name] = on;
        return true;
    }
    std::optional<bool> accessibilitySwitch(const std::string& name) override {
        if (!switchesAnswer) {
            return std::nullopt;
        }
        auto it = switches.find(name);
        return it == switches.end() ? false : it->second;
    }
    bool isRunning(std::int32_t) override { return true; }

    std::shared_ptr<FakeNode> focused;
    std::shared_ptr<FakeNode> changed;
    std::shared_ptr<FakeNode> window;
    ScreenFrames frames{{PopupRect{0, 0, 1920, 1080}}, 1080};
    bool electron = false;
    bool switchesAnswer = true;
    std::map<std::string, bool> switches;
    std::vector<std::pair<std::string, bool>> sets;
    std::vector<double> timeouts;
    std::vector<double> strictTimeouts;
    std::shared_ptr<FakeClock> clock;
    int searchCalls = 0;
    double searchCallCost = 0;
};

}  // namespace parlendo::testing
