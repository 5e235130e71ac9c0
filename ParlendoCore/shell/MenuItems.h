#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// One item of the status menu as a feature module keeps it: the shell's menu draws it as it
// stands after `refreshMenu` and runs its handler when the user chooses it. An item without a
// handler is a line of text. Main thread only.
struct MenuItem {
    std::string title;
    bool enabled = true;
    bool hidden = false;
    // A check mark: shown and set when present.
    std::optional<bool> checked;
    // The key that chooses it with Control held ("q"), where the menu offers keys; empty for none.
    std::string key;
    // Runs when the item is chosen; empty for a line of text.
    std::function<void()> handler;
};

using MenuItemPtr = std::shared_ptr<MenuItem>;

// The items a feature module contributes to the status menu, by section.
struct MenuItems {
    std::vector<MenuItemPtr> status;
    std::vector<MenuItemPtr> actions;
    std::vector<MenuItemPtr> device;
    std::vector<MenuItemPtr> cleanup;
    std::vector<MenuItemPtr> account;
};

}  // namespace parlendo
