#pragma once

#include "capture/AccessibleNode.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace parlendo {

// One element of the accessibility bus. Holds a reference to the libatspi object; used only on
// the thread that runs the accessibility client (the selection-fetch queue).
class AtspiNode final : public AccessibleNode {
  public:
    // Takes a new reference; null for a null element.
    static std::shared_ptr<AtspiNode> wrap(AtspiAccessible* element);
    explicit AtspiNode(AtspiAccessible* element);
    ~AtspiNode() override;
    AtspiNode(const AtspiNode&) = delete;
    AtspiNode& operator=(const AtspiNode&) = delete;

    std::optional<Role> role() override;
    std::vector<AccessibleNodePtr> children(size_t atMost) override;
    std::vector<AccessibleNodePtr> visibleChildren(size_t atMost) override;
    // Every child (a list of vast length is cut at a few thousand).
    std::vector<AccessibleNodePtr> children();
    // The first `atMost` children, each asked for only as `mayCall` lets it: the list ends at
    // its first refusal.
    std::vector<AccessibleNodePtr> children(size_t atMost, const CallGate& mayCall);
    std::optional<std::string> documentURL() override;
    std::optional<std::string> identifier() override;
    std::optional<std::string> value() override;
    std::optional<TextRange> selection() override;
    std::optional<std::string> text(const TextRange& range) override;
    std::optional<DesktopRect> rangeBounds(const TextRange& range) override;
    std::optional<DesktopRect> frame() override;
    std::optional<std::string> name() override;
    AccessibleNodePtr parent() override;
    // A page's index in its parent, as the application reports it or else as the position the
    // page was listed at.
    std::optional<int> pageIndex() override;
    bool showing() override;
    // Through the element's hypertext: the link at the offset, and the object it stands for.
    AccessibleNodePtr embeddedAt(std::int64_t offset) override;
    // By the element's "display" attribute (web pages give it): "inline" and its kin.
    bool isInline() override;

    AtspiAccessible* element() const { return element_; }
    // Whether the element has the given state now.
    bool hasState(int state);

    // Screen coordinates are moved by this offset (the primary monitor's origin), so that they
    // start at the primary monitor's top left. Set before a read.
    static void setScreenOrigin(double x, double y);

  private:
    AtspiAccessible* element_;
    // The position among its parent's children when it was listed through `children()`.
    std::optional<int> listedAt_;
};

}  // namespace parlendo
