#pragma once

#include "capture/DetectState.h"
#include "shell/FeatureModule.h"
#include "shell/MenuItems.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// What the status menu shows: the feature modules' sections in groups, a few items of its own
// (server notice, unsaved count, accessibility permission, log folder, not-stored warning, quit)
// and the icon that says whether detection is fully on. The platform's menu draws it through a
// `View`. Main thread only.
class StatusMenuModel {
  public:
    using Groups = std::vector<std::vector<MenuItemPtr>>;

    struct Icon {
        // "parlendo-on" (detection fully on) or "parlendo-off", drawn dimmed.
        std::string name;
        std::string description;
        bool dimmed = false;
        bool operator==(const Icon&) const = default;
    };

    struct View {
        // The menu's items changed: draw these groups, separated.
        std::function<void(const Groups&)> rebuild;
        // Titles, states or visibility of the items may have changed.
        std::function<void()> update;
        std::function<void(const Icon&)> icon;
    };

    static constexpr const char* notStoredTitle =
        "⚠️ 로그인 정보가 이 Mac에 저장되지 않았어요";
    static constexpr const char* logFolderTitle = "로그 폴더 열기";
    static constexpr const char* quitTitle = "PARLENDO 종료";
    static constexpr const char* permissionGrantedTitle = "손쉬운 사용 권한: 허용됨";
    static constexpr const char* permissionNeededTitle = "⚠️ 손쉬운 사용 권한 필요…";

    StatusMenuModel();

    // Providers; until wired they read as nothing to show.
    std::function<void()> onPermission = [] {
    };
    std::function<bool()> sessionNotStored = [] {
        return false;
    };
    std::function<int()> unsaved = [] {
        return 0;
    };
    std::function<std::optional<std::string>()> serverNotice = [] {
        return std::optional<std::string>();
    };
    // Whether the accessibility permission is there now.
    std::function<bool()> trusted = [] {
        return false;
    };
    std::function<void()> openLogFolder = [] {
    };
    std::function<void()> quit = [] {
    };

    void setView(View view);
    // Stores the modules and the state reader and builds the groups.
    void install(std::vector<std::shared_ptr<FeatureModule>> modules,
                 std::function<DetectState()> state);
    // Brings the icon, the modules' items and the own items up to date.
    void refresh();
    // The menu is about to open: logs, tells every module, refreshes.
    void willOpen();

    const Groups& groups() const { return groups_; }
    const Icon& icon() const { return icon_; }
    static Icon iconFor(const DetectState& state);

    // The groups of a menu: one per module with its status items; every module's actions; the
    // device group (notice, unsaved, device items, permission, log folder, clean-up items); the
    // account group (not-stored warning, account items); quit. Empty groups are left out.
    static Groups layout(const std::vector<MenuItems>& menus, const MenuItemPtr& serverNotice,
                         const MenuItemPtr& unsaved, const MenuItemPtr& permission,
                         const MenuItemPtr& logFolder, const MenuItemPtr& notStored,
                         const MenuItemPtr& quit);

    MenuItemPtr serverNoticeItem;
    MenuItemPtr unsavedItem;
    MenuItemPtr notStoredItem;
    MenuItemPtr permissionItem;
    MenuItemPtr logFolderItem;
    MenuItemPtr quitItem;

  private:
    std::vector<std::shared_ptr<FeatureModule>> modules_;
    std::function<DetectState()> state_;
    View view_;
    Groups groups_;
    Icon icon_;
};

}  // namespace parlendo
