#pragma once

#include "capture/ContextReader.h"
#include "capture/SelectionBounds.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// A range of characters of an accessible text, [start, end).
struct TextRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool operator==(const TextRange&) const = default;

    // Usable as a selection: a start between 0 and 0x7FFFFFFE and at least one character.
    bool hasLength() const { return start >= 0 && start <= 0x7FFFFFFE && end > start; }
};

// One element of an application's accessibility tree. Every call asks the application and may
// fail: a failure, a missing value or an element that is gone all read as "absent". Calls are
// bounded by the time-out last set on the tree's port. Used on the selection-fetch queue.
class AccessibleNode {
  public:
    // The roles that the reads tell apart; every other role is `other`.
    enum class Role {
        window,    // a top-level frame or dialog
        webArea,   // the document of a web page
        document,  // any other document
        page,      // a page of a paged document
        toolbar,
        entry,       // a one-line text field
        staticText,  // a leaf of text (label, paragraph, heading)
        embedded,    // a plug-in or embedded document (a PDF shown in a browser)
        other,
    };

    virtual ~AccessibleNode() = default;

    virtual std::optional<Role> role() = 0;
    // The first `atMost` children. The walks of the tree ask for no more than they may still
    // visit, so that an element with a vast list of children costs no more than a small one.
    virtual std::vector<std::shared_ptr<AccessibleNode>> children(size_t atMost) = 0;
    // The children that are on screen, among the first `atMost`.
    virtual std::vector<std::shared_ptr<AccessibleNode>> visibleChildren(size_t atMost) = 0;
    // The address of the document the element shows (its document attributes).
    virtual std::optional<std::string> documentURL() = 0;
    // The element's identifier (its accessible id or "id" attribute).
    virtual std::optional<std::string> identifier() = 0;
    // The text of an editable field.
    virtual std::optional<std::string> value() = 0;
    // The first selection of the element's text.
    virtual std::optional<TextRange> selection() = 0;
    virtual std::optional<std::string> text(const TextRange& range) = 0;
    // The screen rectangle of a range of the text, and of the element itself.
    virtual std::optional<DesktopRect> rangeBounds(const TextRange& range) = 0;
    virtual std::optional<DesktopRect> frame() = 0;
    // The element's name (a window's title); none by default.
    virtual std::optional<std::string> name() { return std::nullopt; }
    // The element that contains this one; none by default.
    virtual std::shared_ptr<AccessibleNode> parent() { return nullptr; }
    // For a page of a paged document, its 0-based index in the document; none by default.
    virtual std::optional<int> pageIndex() { return std::nullopt; }
    // Whether the element is shown now (a browser's background tabs are not); true by default.
    virtual bool showing() { return true; }
    // The element embedded in this one's text at character `offset`, where the text shows it as
    // one object replacement character (U+FFFC): a paragraph of a web page, a link in it. None
    // by default.
    virtual std::shared_ptr<AccessibleNode> embeddedAt(std::int64_t /*offset*/) { return nullptr; }
    // Whether the element flows in its parent's line of text (a link, an emphasis) rather than
    // standing as a block of its own; false by default.
    virtual bool isInline() { return false; }
};

using AccessibleNodePtr = std::shared_ptr<AccessibleNode>;

// The monitors of the desktop in card coordinates, with the height of the primary one.
struct ScreenFrames {
    std::vector<PopupRect> frames;
    double primaryHeight = 0;
};

// Asked before each call of a read that has a budget: whether one more call may be made. It also
// cuts that call's time-out to what is left of the budget. An empty gate lets every call through.
using CallGate = std::function<bool()>;

// What the accessibility reads need of the desktop. Called on the selection-fetch queue.
class AccessibilityPort {
  public:
    virtual ~AccessibilityPort() = default;
    // Bounds every later call to the applications (this port's and the nodes'). An application
    // met moments ago may still take up to two seconds a call while it hands over its tree.
    virtual void setCallTimeout(double seconds) = 0;
    // The same, with no more time for an application met moments ago: a read within a budget.
    virtual void setStrictCallTimeout(double seconds) = 0;
    // The element that has the keyboard focus in the application, or none; none too as soon as
    // `mayCall` refuses a call (the search for it asks before each).
    virtual AccessibleNodePtr focusedElement(const RunningApplication& app,
                                             const CallGate& mayCall) = 0;
    // The element of the application whose text selection changed last, or none.
    virtual AccessibleNodePtr selectionChangedElement(const RunningApplication& app) = 0;
    // The application's active top-level window, or none.
    virtual AccessibleNodePtr activeWindow(const RunningApplication& app) = 0;
    virtual ScreenFrames screens() = 0;
    // Whether the application ships the Electron runtime.
    virtual bool hasElectronFramework(const RunningApplication& app) = 0;
    // Sets one switch of the accessibility status; whether it took.
    virtual bool setAccessibilitySwitch(const std::string& name, bool on) = 0;
    // Reads one switch of the accessibility status.
    virtual std::optional<bool> accessibilitySwitch(const std::string& name) = 0;
    virtual bool isRunning(std::int32_t pid) = 0;
};

// What the window reads need of the window system.
class WindowPort {
  public:
    virtual ~WindowPort() = default;
    // The identity of the application's focused window now.
    virtual WindowIdentity identity(const RunningApplication& app) = 0;
    // The front application now.
    virtual std::optional<RunningApplication> frontmost() = 0;
};

}  // namespace parlendo
