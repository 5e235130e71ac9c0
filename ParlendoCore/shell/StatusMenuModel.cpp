#include "shell/StatusMenuModel.h"

#include "foundation/Log.h"
#include "saving/UnsavedCounter.h"

namespace parlendo {

namespace {

MenuItemPtr line(std::string title, bool hidden) {
    auto item = std::make_shared<MenuItem>();
    item->title = std::move(title);
    item->enabled = false;
    item->hidden = hidden;
    return item;
}

}  // namespace

StatusMenuModel::StatusMenuModel()
    : serverNoticeItem(line("", true)),
      unsavedItem(line("", true)),
      notStoredItem(line(notStoredTitle, true)),
      permissionItem(std::make_shared<MenuItem>()),
      logFolderItem(std::make_shared<MenuItem>()),
      quitItem(std::make_shared<MenuItem>()) {
    state_ = [] {
        return DetectState{};
    };
    permissionItem->handler = [this] {
        onPermission();
    };
    logFolderItem->title = logFolderTitle;
    logFolderItem->handler = [this] {
        openLogFolder();
    };
    quitItem->title = quitTitle;
    quitItem->key = "q";
    quitItem->handler = [this] {
        quit();
    };
    refresh();
}

void StatusMenuModel::setView(View view) {
    view_ = std::move(view);
    if (view_.rebuild) {
        view_.rebuild(groups_);
    }
    if (view_.icon) {
        view_.icon(icon_);
    }
    refresh();
}

StatusMenuModel::Groups StatusMenuModel::layout(
    const std::vector<MenuItems>& menus, const MenuItemPtr& serverNotice,
    const MenuItemPtr& unsaved, const MenuItemPtr& permission, const MenuItemPtr& logFolder,
    const MenuItemPtr& notStored, const MenuItemPtr& quit) {
    Groups groups;
    for (const auto& menu : menus) {
        groups.push_back(menu.status);
    }
    std::vector<MenuItemPtr> actions;
    std::vector<MenuItemPtr> device = {serverNotice, unsaved};
    std::vector<MenuItemPtr> cleanup;
    std::vector<MenuItemPtr> account = {notStored};
    for (const auto& menu : menus) {
        actions.insert(actions.end(), menu.actions.begin(), menu.actions.end());
        device.insert(device.end(), menu.device.begin(), menu.device.end());
        cleanup.insert(cleanup.end(), menu.cleanup.begin(), menu.cleanup.end());
        account.insert(account.end(), menu.account.begin(), menu.account.end());
    }
    device.push_back(permission);
    device.push_back(logFolder);
    device.insert(device.end(), cleanup.begin(), cleanup.end());
    groups.push_back(std::move(actions));
    groups.push_back(std::move(device));
    groups.push_back(std::move(account));
    groups.push_back({quit});
    // Hidden items count: a group keeps its separator while all its items are hidden.
    std::erase_if(groups, [](const auto& group) { return group.empty(); });
    return groups;
}

void StatusMenuModel::install(std::vector<std::shared_ptr<FeatureModule>> modules,
                              std::function<DetectState()> state) {
    modules_ = std::move(modules);
    state_ = std::move(state);
    std::vector<MenuItems> menus;
    for (const auto& module : modules_) {
        menus.push_back(module->menu());
    }
    groups_ = layout(menus, serverNoticeItem, unsavedItem, permissionItem, logFolderItem,
                     notStoredItem, quitItem);
    if (view_.rebuild) {
        view_.rebuild(groups_);
    }
    refresh();
}

StatusMenuModel::Icon StatusMenuModel::iconFor(const DetectState& state) {
    const bool on = state.watching();
    return on ? Icon{"parlendo-on", "PARLENDO 감지 켜짐", false}
              : Icon{"parlendo-off", "PARLENDO 감지 꺼짐", true};
}

void StatusMenuModel::refresh() {
    const Icon icon = iconFor(state_());
    const bool iconChanged = !(icon == icon_);
    icon_ = icon;
    for (const auto& module : modules_) {
        module->refreshMenu();
    }
    notStoredItem->hidden = !sessionNotStored();
    const auto notice = serverNotice();
    serverNoticeItem->title = notice.value_or("");
    serverNoticeItem->hidden = !notice.has_value();
    const auto unsavedTitle = UnsavedCounter::menuTitle(unsaved());
    unsavedItem->title = unsavedTitle.value_or("");
    unsavedItem->hidden = !unsavedTitle.has_value();
    permissionItem->title = trusted() ? permissionGrantedTitle : permissionNeededTitle;
    if (iconChanged && view_.icon) {
        view_.icon(icon_);
    }
    if (view_.update) {
        view_.update();
    }
}

void StatusMenuModel::willOpen() {
    Log::write("menu", "opened");
    for (const auto& module : modules_) {
        module->menuWillOpen();
    }
    refresh();
}

}  // namespace parlendo
