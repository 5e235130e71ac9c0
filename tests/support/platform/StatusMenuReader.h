#pragma once

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Reads and clicks a status icon's menu over D-Bus, as the desktop's panel does: the item's
// "Menu" property names a com.canonical.dbusmenu object whose layout holds the menu's lines.
// Built from what the item registered with the StatusNotifier watcher ("<bus name> <path>").
class StatusMenuReader {
  public:
    struct Line {
        int id = 0;
        std::string label;  // without mnemonic underscores
        bool visible = true;
        bool enabled = true;
        bool separator = false;
    };

    explicit StatusMenuReader(const std::string& registered);

    // The top-level lines as the panel would draw them now; empty when the menu cannot be read.
    std::vector<Line> lines() const;
    // The labels of the visible lines (separators as "---").
    std::vector<std::string> shown() const;
    // The visible line whose label starts with `prefix`.
    std::optional<Line> find(const std::string& prefix) const;
    // Tells the menu it is about to open (the program refreshes it), as a panel does on a click.
    void opening() const;
    // Sends the root's "opened" or "closed" event, as a panel does around showing the menu.
    void event(const std::string& name) const;
    // Opens the menu and clicks the visible, enabled line whose label starts with `prefix`. A
    // panel sends the X server time of the user's click with it, or 0 when it has none.
    bool click(const std::string& prefix, unsigned time = 0) const;

  private:
    std::string bus_;
    std::string menuPath_;
};

}  // namespace parlendo::testing
