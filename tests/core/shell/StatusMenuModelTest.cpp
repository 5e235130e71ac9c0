#include "shell/StatusMenuModel.h"

#include "FakeModule.h"
#include "LogCapture.h"
#include "saving/UnsavedCounter.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeModule;
using testing::item;
using testing::LogCapture;

std::vector<std::vector<std::string>> titles(const StatusMenuModel::Groups& groups) {
    std::vector<std::vector<std::string>> out;
    for (const auto& group : groups) {
        out.emplace_back();
        for (const auto& entry : group) {
            out.back().push_back(entry->title);
        }
    }
    return out;
}

TEST(StatusMenuModelTest, GroupsFollowModuleOrderAndSkipEmptySections) {
    StatusMenuModel menu;
    auto capture = std::make_shared<FakeModule>("capture");
    capture->items.status = {item("state"), item("toggle")};
    auto aitalk = std::make_shared<FakeModule>("aitalk");  // nothing at all
    auto manage = std::make_shared<FakeModule>("manage");
    manage->items.actions = {item("manage")};
    auto account = std::make_shared<FakeModule>("account");
    account->items.device = {item("restart", true), item("login"), item("notice")};
    account->items.cleanup = {item("wipe")};
    account->items.account = {item("account")};
    menu.install({capture, aitalk, manage, account}, [] { return DetectState{}; });

    const auto groups = titles(menu.groups());
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_EQ(groups[0], (std::vector<std::string>{"state", "toggle"}));
    EXPECT_EQ(groups[1], std::vector<std::string>{"manage"});
    // The notice and unsaved lines keep their place while hidden, with the refreshed titles.
    EXPECT_EQ(groups[2], (std::vector<std::string>{"", "", "restart", "login", "notice",
                                                   "⚠️ 손쉬운 사용 권한 필요…",
                                                   "로그 폴더 열기", "wipe"}));
    EXPECT_EQ(groups[3],
              (std::vector<std::string>{
                  "⚠️ 로그인 정보가 이 Mac에 저장되지 않았어요", "account"}));
    EXPECT_EQ(groups[4], std::vector<std::string>{"PARLENDO 종료"});
    EXPECT_EQ(menu.quitItem->key, "q");
}

TEST(StatusMenuModelTest, RefreshShowsStateIconAndOwnLines) {
    LogCapture log;
    StatusMenuModel menu;
    std::vector<std::string> journal;
    auto module = std::make_shared<FakeModule>("capture", &journal);
    DetectState state;
    int unsaved = 0;
    bool notStored = false;
    bool trusted = false;
    std::optional<std::string> notice;
    std::vector<StatusMenuModel::Icon> icons;
    int updates = 0;
    int rebuilds = 0;
    menu.unsaved = [&] {
        return unsaved;
    };
    menu.sessionNotStored = [&] {
        return notStored;
    };
    menu.trusted = [&] {
        return trusted;
    };
    menu.serverNotice = [&] {
        return notice;
    };
    menu.setView({[&](const StatusMenuModel::Groups&) { ++rebuilds; }, [&] { ++updates; },
                  [&](const StatusMenuModel::Icon& icon) {
                      icons.push_back(icon);
                  }});
    menu.install({module}, [&] { return state; });
    EXPECT_EQ(rebuilds, 2);
    EXPECT_EQ(icons.back(), (StatusMenuModel::Icon{"parlendo-off", "PARLENDO 감지 꺼짐", true}));

    // Any one of the four flags off keeps the outline icon.
    state = DetectState{true, true, true, true, {}};
    menu.refresh();
    EXPECT_EQ(icons.back(), (StatusMenuModel::Icon{"parlendo-on", "PARLENDO 감지 켜짐", false}));
    const size_t iconCalls = icons.size();
    menu.refresh();
    EXPECT_EQ(icons.size(), iconCalls);
    for (int off = 0; off < 4; ++off) {
        DetectState partial{off != 0, off != 1, off != 2, off != 3, {}};
        EXPECT_EQ(StatusMenuModel::iconFor(partial).name, "parlendo-off") << off;
    }

    EXPECT_TRUE(menu.unsavedItem->hidden);
    EXPECT_TRUE(menu.serverNoticeItem->hidden);
    EXPECT_TRUE(menu.notStoredItem->hidden);
    unsaved = 1;
    notStored = true;
    trusted = true;
    notice = "서버 점검 중";
    menu.refresh();
    EXPECT_FALSE(menu.unsavedItem->hidden);
    EXPECT_EQ(menu.unsavedItem->title, UnsavedCounter::menuTitle(1).value());
    EXPECT_FALSE(menu.notStoredItem->hidden);
    EXPECT_FALSE(menu.serverNoticeItem->hidden);
    EXPECT_EQ(menu.serverNoticeItem->title, "서버 점검 중");
    EXPECT_EQ(menu.permissionItem->title, "손쉬운 사용 권한: 허용됨");
    EXPECT_FALSE(menu.permissionItem->hidden);
    EXPECT_TRUE(menu.permissionItem->enabled);
    unsaved = 0;
    menu.refresh();
    EXPECT_TRUE(menu.unsavedItem->hidden);
    EXPECT_GT(module->refreshes, 3);
    EXPECT_GT(updates, 3);

    menu.willOpen();
    EXPECT_EQ(journal, std::vector<std::string>{"capture.willOpen"});
    EXPECT_TRUE(log.has("menu", "opened"));
}

TEST(StatusMenuModelTest, OwnItemsRunTheirProviders) {
    StatusMenuModel menu;
    int permission = 0;
    int folder = 0;
    int quit = 0;
    menu.onPermission = [&] {
        ++permission;
    };
    menu.openLogFolder = [&] {
        ++folder;
    };
    menu.quit = [&] {
        ++quit;
    };
    menu.permissionItem->handler();
    menu.logFolderItem->handler();
    menu.quitItem->handler();
    EXPECT_EQ(std::tie(permission, folder, quit), std::make_tuple(1, 1, 1));
}

}  // namespace
}  // namespace parlendo
